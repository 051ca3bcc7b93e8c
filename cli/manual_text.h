// What kelvarin-cli's --help and man page say beyond its options.
#pragma once

#include "manual.h"

#include <string_view>
#include <vector>

namespace kelvarin::cli {

// What kelvarin-cli is, for its man page's NAME.
inline constexpr const char* kManualSummary =
    "pack, inspect, send, verify and fleet-send web images from a terminal";

// The sections of a command ("" for kelvarin-cli itself): its exit status and
// notes.
std::vector<manual::Section> CommandSections(std::string_view command);

// The sections of the whole program: the targets file, the log, language,
// environment, files, examples.
std::vector<manual::Section> ProgramSections();

}  // namespace kelvarin::cli
