// What kelvarin-device's --help and man page say beyond its options.
#pragma once

#include "manual.h"

#include <string_view>
#include <vector>

namespace kelvarin::device {

// What kelvarin-device is, for its man page's NAME.
inline constexpr const char* kManualSummary =
    "a simulated device that stores web images over Modbus/TCP and serves them over HTTP";

// The sections of kelvarin-device (it has no subcommands, so command is
// always ""): exit status, what it serves, its output, examples.
std::vector<manual::Section> CommandSections(std::string_view command);

// None: everything is in CommandSections.
std::vector<manual::Section> ProgramSections();

}  // namespace kelvarin::device
