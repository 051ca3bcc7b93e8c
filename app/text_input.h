// Reading what the operator typed or passed: port texts, dotted addresses,
// dropped file lists and the information-only command lines. Framework-free.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// The port text read as strtol reads a base-10 number: leading blanks, an
// optional sign, then digits; 0 when there are none ("502abc" and " 502" give
// 502). Values past the 32-bit range stop at its ends, as a 32-bit long does.
int ParsePortText(std::string_view text);

// True for the ports a TCP connection can use, 1..65535.
bool IsPortInRange(int port);

// The four fields of a dotted IPv4 text as the address control takes it:
// one to four dot-separated fields of digits, each clamped to 255; a field
// left out or empty is blank (-1). Blanks around the text are ignored.
// nullopt for any other text (letters, more than four fields, a field of more
// than three digits).
std::optional<std::array<int, 4>> ParseAddressFields(std::string_view text);

// The local file paths of a text/uri-list (RFC 2483): one URI a line,
// comment lines skipped, only file: URIs on this host, percent escapes decoded
// to the exact bytes of the path. Paths keep their full length.
std::vector<std::string> LocalPathsFromUriList(std::string_view uriList);

// For "--help", "--version" or "--manual" (the man page) given as the only
// argument (args[0] is the program), the text to print; nullopt for every
// other command line, which opens the window.
std::optional<std::string> InfoText(const std::vector<std::string>& args);

}  // namespace kelvarin
