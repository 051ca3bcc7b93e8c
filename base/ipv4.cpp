// Reading and writing dotted IPv4 addresses.
#include "ipv4.h"

namespace kelvarin {

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    std::uint32_t address = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[digits] - '0');
            if (++digits > 3) {
                return std::nullopt;
            }
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        text.remove_prefix(digits);
        address = (address << 8) | value;
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return address;
}

bool IsAddressText(std::string_view text) {
    const std::size_t dot = text.find_last_of('.');
    const std::string_view last = dot == std::string_view::npos ? text : text.substr(dot + 1);
    if (last.empty()) {
        // "10.0.0.1." names what "10.0.0.1" does to the resolver; so does any
        // text of nothing but digits and dots.
        return text.find_first_not_of("0123456789.") == std::string_view::npos;
    }
    return last.front() >= '0' && last.front() <= '9';
}

std::string DottedQuadText(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace kelvarin
