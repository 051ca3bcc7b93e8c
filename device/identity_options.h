// kelvarin-device's options of what it says of itself (function 43).
#pragma once

#include "device_identity.h"

#include <CLI/CLI.hpp>

#include <functional>

namespace kelvarin::device {

// Adds --vendor, --product, --revision, --vendor-url, --product-name,
// --model-name, --application-name and --no-identity to app (a text longer
// than one reply holds is a usage error). Returns what reads them, once app
// has parsed, into the identification every device answers with.
std::function<DeviceIdentity()> AddIdentityOptions(CLI::App& app);

}  // namespace kelvarin::device
