// A trace of the wire: one line for every frame sent or received, with a
// monotonic time, the direction, the transaction id and the bytes in hex, for
// the operator to read or to send to the device's maker when a device
// misbehaves; and a line for each decision the transfer took about them.
#pragma once

#include "files.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace kelvarin {

// Lines of a wire trace, written to a file as they happen:
//   "    12.345 send tid 7: 00 07 00 00 00 8A 00 15 87 06 00 10 ..."
//   "    12.402 recv tid 7: 00 07 ..."
//   "    12.600 note one request in flight from now on (no reply)"
// Each line may carry a label (the device, in a fleet) after the time. The
// time is milliseconds since the trace was opened.
class WireTrace {
  public:
    // Makes the file at path (UTF-8) anew, as every output is made (a link
    // there replaced, not followed). False when it cannot be written.
    bool Open(const std::string& path);

    // True when open.
    bool IsOpen() const { return m_out.IsOpen(); }

    // A frame in direction ("send", "recv"), or bytes that are no frame.
    void Frame(const std::string& label, const char* direction, std::span<const std::uint8_t> bytes);

    // A decision about the frames: a retry, a fall-back, a reconnect.
    void Note(const std::string& label, const std::string& text);

    // True when every line so far was written.
    bool Good() const { return m_out.Good(); }

  private:
    void Stamp(const std::string& label);

    OutputStream m_out;
    std::string m_line;  // the line being made
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace kelvarin
