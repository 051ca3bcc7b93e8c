// Wire trace lines.
#include "wire_trace.h"

#include "paths.h"

#include <cstdio>

namespace kelvarin {

bool WireTrace::Open(const std::string& path) {
    m_out.open(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    m_start = std::chrono::steady_clock::now();
    return m_out.is_open();
}

void WireTrace::Stamp(const std::string& label) {
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    char time[32];
    std::snprintf(time, sizeof time, "%10.3f ", ms);
    m_out << time;
    if (!label.empty()) {
        m_out << label << ' ';
    }
}

void WireTrace::Frame(const std::string& label, const char* direction,
                      std::span<const std::uint8_t> bytes) {
    if (!m_out.is_open()) {
        return;
    }
    Stamp(label);
    m_out << direction;
    if (bytes.size() >= 2) {
        m_out << " tid " << ((unsigned{bytes[0]} << 8) | bytes[1]);
    }
    m_out << ':';
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(3 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        hex += ' ';
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    m_out << hex << '\n';
    m_out.flush();
}

void WireTrace::Note(const std::string& label, const std::string& text) {
    if (!m_out.is_open()) {
        return;
    }
    Stamp(label);
    m_out << "note " << text << '\n';
    m_out.flush();
}

}  // namespace kelvarin
