// kelvarin-device: the simulated device, for the demo and the tests. Stores
// what Modbus/TCP clients write into its image memory and serves that memory
// as a web image over HTTP.
#include "catalog.h"
#include "command_line.h"
#include "device_faults.h"
#include "device_server.h"
#include "image_file.h"
#include "manual_text.h"
#include "net.h"

#include <kelvarin/version.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // a port cannot be bound, or the server failed
constexpr int kExitUsage = 2;

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvarin::device;

    CLI::App app{
        "Simulated Kelvarin device: stores web images written over Modbus/TCP "
        "(function 21), reads them back (function 20) and serves them over HTTP",
        "kelvarin-device"};
    kelvarin::cmdline::SetUp(app, std::string("kelvarin-device ") + kelvarin::kVersion);

    DeviceOptions options;
    std::string fault;
    int httpTimeoutMs = static_cast<int>(options.httpRequestTimeout.count());
    int modbusTimeoutMs = static_cast<int>(options.modbusIdleTimeout.count());
    app.add_option("--modbus-port", options.modbusPort, "Modbus/TCP port, 0 for any free port")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--http-port", options.httpPort, "HTTP port, 0 for any free port")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--bind", options.bindAddress, "IPv4 address to listen on")
        ->capture_default_str()
        ->transform(kelvarin::cmdline::DottedQuad());
    app.add_option("--image-out", options.imageOut,
                   "After each write burst (a Modbus connection that stored data closes), "
                   "write the whole memory to this file and print \"image PATH\"");
    app.add_option("--fault", fault,
                   "Misbehave on purpose: silent, exception, delay=MS, late=N[:MS], split, "
                   "close-after=N, corrupt=N, flip-store=N or no-read")
        ->check([](const std::string& text) {
            return ParseFaultMode(text) ? std::string() : "unknown fault mode: " + text;
        });
    const int mostDevices = MostDevices();
    const std::string countLimit =
        mostDevices < kMaxDevices ? "devices on this system, where one wait (select()) holds " +
                                        std::to_string(kelvarin::net::MaxWaitSockets()) +
                                        " sockets: two listeners and a client a device"
                                  : "devices";
    app.add_option("--count", options.count,
                   "Run this many devices, each with its own memory and ports, one line each "
                   "(a non-zero port is then the first of consecutive ports, and --image-out "
                   "PATH becomes PATH.0, PATH.1, ...); at most " +
                       std::to_string(mostDevices) + " " + countLimit)
        ->capture_default_str()
        ->check(kelvarin::cmdline::AtMost(mostDevices, countLimit))
        ->check(CLI::Range(1, mostDevices));
    std::string loadPath;
    app.add_option("--load", loadPath,
                   "Start holding this image (from kelvarin-cli pack), checked as kelvarin-cli "
                   "send --image checks it, so its pages are served at once");
    app.add_option("--http-timeout", httpTimeoutMs,
                   "Milliseconds an HTTP client has to send its whole request")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600000));
    app.add_option("--modbus-timeout", modbusTimeoutMs,
                   "Milliseconds a Modbus client may send nothing (no reply of ours on its way) "
                   "before it is disconnected")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600000));

    // --help and the man page (--manual) from the options above.
    kelvarin::manual::Document(app, kelvarin::kVersion, kManualSummary, &CommandSections,
                               ProgramSections());

    if (const std::optional<int> code = kelvarin::cmdline::Parse(app, argc, argv, kExitUsage)) {
        return *code;
    }
    if (!fault.empty()) {
        options.fault = *ParseFaultMode(fault);
    }
    options.httpRequestTimeout = std::chrono::milliseconds(httpTimeoutMs);
    options.modbusIdleTimeout = std::chrono::milliseconds(modbusTimeoutMs);
    if (!loadPath.empty()) {
        // Refused as send --image refuses it: nothing the device would not
        // have been sent.
        kelvarin::ImageFile image = kelvarin::LoadImageFile(loadPath);
        if (image.fault != kelvarin::ImageFileFault::kNone) {
            const kelvarin::MessageCatalog catalog(kelvarin::LanguageFromEnvironment());
            std::fprintf(stderr, "kelvarin-device: %s\n",
                         catalog.ImageFileLine(loadPath, image).c_str());
            return kExitUsage;
        }
        options.image = std::move(image.bytes);
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
