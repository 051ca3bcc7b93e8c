// ASCII-only text helpers: case folding that never depends on the locale, and
// percent-decoding of URL paths.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kelvarin {

// c with A-Z turned into a-z; every other byte unchanged.
constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True for the blanks: space, tab, line ends, vertical tab, form feed.
constexpr bool IsAsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// text without the blanks (space, tab, line ends, vertical tab, form feed)
// at its start and end.
std::string_view TrimBlanks(std::string_view text);

// True when a and b are equal once A-Z and a-z are taken as the same.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// True when text starts / ends with affix, ignoring ASCII letter case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view affix);
bool EndsWithIgnoringCase(std::string_view text, std::string_view affix);

// text made safe to print on a terminal: bytes below 0x20 and DEL as \xHH,
// the C1 controls (U+0080..U+009F, spelt in UTF-8) as \u00HH, bytes that are
// not part of well-formed UTF-8 as \xHH, and the backslash as \\, so no
// escape sequence in text can reach the terminal and no escape shown is
// ambiguous; every other byte, UTF-8 of any language included, as it is.
std::string EscapeControls(std::string_view text);

// text from a file, an image or a device as a log line shows it: escaped as
// EscapeControls does, but with the backslash as it is (a Windows path keeps
// its separators). Always well-formed UTF-8 without control characters.
std::string VisibleText(std::string_view text);

// text as a JSON string, quotes included: well-formed UTF-8 as it is, the
// quote, the backslash and control characters escaped as JSON escapes them,
// and bytes that are not part of well-formed UTF-8 as the visible text
// \xHH (in JSON "\\xHH"), so the result is always valid JSON.
std::string JsonString(std::string_view text);

// seconds as a JSON number with three decimals (milliseconds).
std::string JsonSeconds(double seconds);

// bytes (an image, a frame) seen as text, for the functions that read,
// hash or write text; no copy.
inline std::string_view BytesText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The value of a hexadecimal digit, or -1 for any other byte.
int HexDigitValue(char c);

// text with each %XX replaced by the byte it names; nullopt for a '%' not
// followed by two hexadecimal digits.
std::optional<std::string> PercentDecode(std::string_view text);

}  // namespace kelvarin
