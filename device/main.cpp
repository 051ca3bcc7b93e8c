// kelvarin-device: the simulated device, for the demo and the tests. Stores
// what Modbus/TCP clients write into its image memory and serves that memory
// as a web image over HTTP.
#include "command_line.h"
#include "device_options.h"
#include "device_server.h"
#include "manual_text.h"

#include <kelvarin/version.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // a port cannot be bound, or the server failed

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvarin::device;

    CLI::App app{
        "Simulated Kelvarin device: stores web images written over Modbus/TCP "
        "(function 21), reads them back (function 20), identifies itself (function 43) and "
        "serves them over HTTP",
        "kelvarin-device"};
    kelvarin::cmdline::SetUp(app, std::string("kelvarin-device ") + kelvarin::kVersion);

    DeviceOptions options;
    const std::function<std::optional<int>()> finish = AddDeviceOptions(app, options);

    // --help and the man page (--manual) from the options above.
    kelvarin::manual::Document(app, kelvarin::kVersion, kManualSummary, &CommandSections,
                               ProgramSections());

    if (const std::optional<int> code = kelvarin::cmdline::Parse(app, argc, argv, kExitUsage)) {
        return *code;
    }
    if (const std::optional<int> code = finish()) {
        return *code;
    }

    DeviceServer server(options);
    std::string error;
    if (!server.Open(&error)) {
        std::fprintf(stderr, "kelvarin-device: %s\n", error.c_str());
        return kExitFailed;
    }
    // Tests and scripts start the device on port 0 and read the ports here.
    for (const std::string& line : server.ListeningLines()) {
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return server.Run() == 0 ? kExitOk : kExitFailed;
}
