// Where a Send reports its progress, in image bytes.
#pragma once

#include <cstdint>

namespace kelvarin {

// A progress bar: a range, then positions within it.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // Sets the range to low..high (image bytes).
    virtual void SetRange(std::uint32_t low, std::uint32_t high) = 0;
    // Moves to position (image bytes sent so far).
    virtual void SetPosition(std::uint32_t position) = 0;
};

}  // namespace kelvarin
