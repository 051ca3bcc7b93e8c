// The options of kelvarin-device, declared on its parser, and what they make
// of its DeviceOptions once parsed.
#pragma once

#include "device_server.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>

namespace kelvarin::device {

// The exit code of a usage error.
inline constexpr int kExitUsage = 2;

// Declares every option on app, each bound to options where it can be.
// Returns what completes options once app has parsed the command line:
// nothing when they stand, or the exit code of a usage error (said on
// stderr). options must outlive both.
std::function<std::optional<int>()> AddDeviceOptions(CLI::App& app, DeviceOptions& options);

}  // namespace kelvarin::device
