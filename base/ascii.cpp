// ASCII case folding and percent-decoding.
#include "ascii.h"

#include <cstdio>

namespace kelvarin {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsAsciiBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsAsciiBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view affix) {
    return text.size() >= affix.size() && EqualsIgnoringCase(text.substr(0, affix.size()), affix);
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view affix) {
    return text.size() >= affix.size() &&
           EqualsIgnoringCase(text.substr(text.size() - affix.size()), affix);
}

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, const char* prefix, unsigned char byte) {
    out += prefix;
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// The length of the well-formed UTF-8 sequence that starts text[at] (1 for
// ASCII), or 0 when the byte there starts none (a stray continuation byte,
// an overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned first = byte(0);
    if (first < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

// EscapeControls, with the backslash doubled or kept.
std::string Escape(std::string_view text, bool doubleBackslash) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            AppendHex(safe, "\\x", byte);
            ++i;
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendHex(safe, "\\x", byte);
            ++i;
        } else if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            AppendHex(safe, "\\u00", static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else if (byte == '\\' && doubleBackslash) {
            safe += "\\\\";
            ++i;
        } else {
            safe.append(text.substr(i, length));
            i += length;
        }
    }
    return safe;
}

}  // namespace

std::string EscapeControls(std::string_view text) {
    return Escape(text, true);
}

std::string VisibleText(std::string_view text) {
    return Escape(text, false);
}

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            AppendHex(quoted, "\\\\x", byte);
            ++i;
        } else if (byte == '"' || byte == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(byte);
            ++i;
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendHex(quoted, "\\u00", byte);
            ++i;
        } else {
            quoted.append(text.substr(i, length));
            i += length;
        }
    }
    return quoted + "\"";
}

std::string JsonSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (text.size() - i < 3) {
            return std::nullopt;
        }
        const int high = HexDigitValue(text[i + 1]);
        const int low = HexDigitValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

}  // namespace kelvarin
