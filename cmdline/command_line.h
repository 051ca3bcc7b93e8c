// The command line of kelvarin-cli and kelvarin-device: CLI11 set up the same
// way for both, the arguments read as UTF-8, and the checks of the options
// that name an IPv4 address.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace kelvarin::cmdline {

// Sets app up as every Kelvarin program's: --version printing versionLine,
// and "/path" always a path, never a Windows-style option.
void SetUp(CLI::App& app, const std::string& versionLine);

// Prepares the console and parses the process's arguments as UTF-8. Nothing
// when the program is to go on; otherwise the exit code after CLI11 has
// printed help, the version or the usage error: 0 for help and version,
// usageExit for an error.
std::optional<int> Parse(CLI::App& app, int argc, char** argv, int usageExit);

// Checks and rewrites an address that may also be a host name: text written
// as an address (see IsAddressText) must be four decimal fields 0..255 and
// becomes its plain form ("127.000.000.010" is 127.0.0.10); a host name and
// empty text pass as they are.
CLI::Validator AddressOrHostName();

// Checks and rewrites a dotted IPv4 address (four decimal fields 0..255) to
// its plain form; anything else is refused.
CLI::Validator DottedQuad();

// Refuses a count above most, saying why with because ("--count 5000: at
// most 1365 ...").
CLI::Validator AtMost(int most, const std::string& because);

}  // namespace kelvarin::cmdline
