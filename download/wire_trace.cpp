// Wire trace lines.
#include "wire_trace.h"


#include <cstdio>

namespace kelvarin {

bool WireTrace::Open(const std::string& path) {
    m_start = std::chrono::steady_clock::now();
    return m_out.Open(path);
}

void WireTrace::Stamp(const std::string& label) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f ", ms);
    m_line = time;
    if (!label.empty()) {
        m_line += label;
        m_line += ' ';
    }
}

void WireTrace::Frame(const std::string& label, const char* direction,
                      std::span<const std::uint8_t> bytes) {
    if (!m_out.IsOpen()) {
        return;
    }
    Stamp(label);
    m_line += direction;
    if (bytes.size() >= 2) {
        m_line += " tid " + std::to_string((unsigned{bytes[0]} << 8) | bytes[1]);
    }
    m_line += ':';
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(3 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        hex += ' ';
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    m_line += hex;
    m_line += '\n';
    m_out.Write(m_line);
    m_out.Flush();  // line by line: the trace can be read while it grows
}

void WireTrace::Note(const std::string& label, const std::string& text) {
    if (!m_out.IsOpen()) {
        return;
    }
    Stamp(label);
    m_line += "note " + text + '\n';
    m_out.Write(m_line);
    m_out.Flush();
}

}  // namespace kelvarin
