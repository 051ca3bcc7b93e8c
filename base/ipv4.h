// IPv4 addresses written as text: one reading for every address the programs
// take (command line, targets file, window, the simulated device's --bind).
//
// Text of digits and dots is always four decimal fields 0..255; a leading
// zero means nothing ("010" is ten). The system's own readers differ: some
// refuse leading zeros, others read "010" as octal, "0x0a" as hex and "10.1"
// as 10.0.0.1, so such text must never reach them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvarin {

// The address text names, in host byte order (127.0.0.1 is 0x7F000001), when
// it is four dot-separated decimal fields of 1 to 3 digits each, 0..255.
// Nothing for anything else: fewer or more fields, an empty field, a sign,
// blanks, letters.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

// True when text is written as a numeric address rather than a host name:
// its last dot-separated label starts with a digit (as "10.0.0.1",
// "127.000.000.010", "0x7f.1" and "2130706433" do; a top-level domain never
// does). Such text is an address or nothing, never a name to look up.
bool IsAddressText(std::string_view text);

// address (host byte order) as "A.B.C.D".
std::string DottedQuadText(std::uint32_t address);

}  // namespace kelvarin
