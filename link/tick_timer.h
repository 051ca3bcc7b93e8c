// A millisecond tick timer that survives the wrap of its 32-bit counter.
#pragma once

#include <cstdint>

namespace kelvarin {

// Remembers a start tick and tells when a limit has passed since then.
class CTickTimer {
  public:
    virtual ~CTickTimer() = default;

    // The current tick: milliseconds of a monotonic clock, modulo 2^32.
    static std::uint32_t Now();

    // Stores the current tick (or the given one) as the start.
    void Start() { Start(Now()); }
    void Start(std::uint32_t tick) { m_start = tick; }

    // True when more than limitMs milliseconds have passed since Start. The
    // difference is taken modulo 2^32, so a wrap of the counter does no harm.
    bool Expired(float limitMs) const { return ExpiredAt(Now(), limitMs); }

    // Expired, as seen at tick now.
    bool ExpiredAt(std::uint32_t now, float limitMs) const {
        return static_cast<float>(static_cast<std::uint32_t>(now - m_start)) > limitMs;
    }

    // Milliseconds since Start, modulo 2^32.
    std::uint32_t Elapsed() const { return Now() - m_start; }

  private:
    std::uint32_t m_start = 0;
};

}  // namespace kelvarin
