// Every option of kelvarin-device, and their checks once parsed.
#include "device_options.h"

#include "catalog.h"
#include "command_line.h"
#include "device_faults.h"
#include "identity_options.h"
#include "image_file.h"
#include "net.h"
#include "tls.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kelvarin::device {

namespace {

// What options take as text or need checked together after parsing.
struct RawOptions {
    std::string fault;
    int httpTimeoutMs = 0;
    int modbusTimeoutMs = 0;
    std::string loss;
    std::vector<std::string> maxInFlight;
    std::string unitMissing = "ignore";
    bool tls = false;
    kelvarin::tls::ServerSettings tlsFiles;
    int handshakeTimeoutMs = 0;
    CLI::Option* handshakeTimeout = nullptr;
    std::string loadPath;
    std::function<DeviceIdentity()> identity;
};

}  // namespace

std::function<std::optional<int>()> AddDeviceOptions(CLI::App& app, DeviceOptions& settings) {
    DeviceOptions* options = &settings;
    auto raw = std::make_shared<RawOptions>();
    raw->httpTimeoutMs = static_cast<int>(options->httpRequestTimeout.count());
    raw->modbusTimeoutMs = static_cast<int>(options->modbusIdleTimeout.count());
    raw->handshakeTimeoutMs = static_cast<int>(options->tlsHandshakeTimeout.count());
    app.add_option("--modbus-port", options->modbusPort, "Modbus/TCP port, 0 for any free port")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--http-port", options->httpPort, "HTTP port, 0 for any free port")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--bind", options->bindAddress, "IPv4 address to listen on")
        ->capture_default_str()
        ->transform(kelvarin::cmdline::DottedQuad());
    app.add_option("--image-out", options->imageOut,
                   "After each write burst (a Modbus connection that stored data closes), "
                   "write the whole memory to this file and print \"image PATH\"");
    app.add_option("--fault", raw->fault,
                   "Misbehave on purpose: silent, exception, delay=MS, late=N[:MS], split, "
                   "trickle=MS (each reply a byte every MS), close-after=N, corrupt=N, "
                   "flip-store=N, stream=N (the N-th reply, then copies of it without end) or "
                   "no-read")
        ->check([](const std::string& text) {
            return ParseFaultMode(text) ? std::string() : "unknown fault mode: " + text;
        });
    app.add_option("--latency", options->link.latencyMs,
                   "A slow link: MS each way, so every reply leaves 2 x MS after its request "
                   "came; requests are taken as they come, so several in flight overlap")
        ->check(CLI::Range(0, kMaxFaultDelayMs));
    app.add_option("--loss", raw->loss,
                   "A lossy link: PERCENT[:SEED] of the requests are lost unanswered, drawn "
                   "from SEED (default 1), the same in every run")
        ->check([](const std::string& text) {
            LinkModel model;
            return ParseLoss(text, model) ? std::string()
                                          : "--loss is PERCENT[:SEED]: " + text;
        });
    app.add_option("--max-in-flight", raw->maxInFlight,
                   "N [busy|drop]: answer at most N requests of a connection at once; past "
                   "that, answer exception 06 (busy, the default) or drop the request unanswered")
        ->expected(1, 2)
        ->check([](const std::string& text) {
            if (text == "busy" || text == "drop") {
                return std::string();
            }
            int value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc() && end == text.data() + text.size() && value >= 1 &&
                           value <= 1000
                       ? std::string()
                       : "--max-in-flight is N (1 to 1000) then busy or drop: " + text;
        });
    app.add_option("--unit", options->link.unit,
                   "Answer only requests for this Modbus unit identifier (0 to 255), as the one "
                   "device behind a gateway; others get no answer (or, with --unit-missing "
                   "exception, exception 0B) and nothing of theirs is stored. Default: any unit")
        ->check(CLI::Range(0, 255));
    app.add_option("--unit-missing", raw->unitMissing,
                   "What a request for another unit gets with --unit: ignore (no answer, as a "
                   "gateway's absent device) or exception (exception 0B)")
        ->check(CLI::IsMember({"ignore", "exception"}))
        ->capture_default_str();
    app.add_flag("--tls", raw->tls,
                 "Speak only Modbus/TCP Security on the Modbus port: TLS 1.2 or later, the "
                 "client's certificate required and checked against --ca (the HTTP port is "
                 "unchanged)");
    app.add_option("--cert", raw->tlsFiles.cert, "With --tls: this device's certificate (PEM)");
    app.add_option("--key", raw->tlsFiles.key, "With --tls: its private key (PEM, not encrypted)");
    app.add_option("--ca", raw->tlsFiles.ca,
                   "With --tls: the certificates (PEM) a client's certificate must chain to");
    app.add_option("--write-role", options->link.writeRoles,
                   "With --tls: function 21 (write) only for client certificates naming this "
                   "role (not empty; may be given more than once); others get exception 01 and "
                   "nothing is stored. Default: any authenticated client writes");
    app.add_option("--read-role", options->link.readRoles,
                   "With --tls: functions 20 and 43 (reads) only for client certificates naming "
                   "this role (not empty; may be given more than once); others get exception 01. "
                   "Default: any authenticated client reads");
    raw->handshakeTimeout =
        app.add_option("--handshake-timeout", raw->handshakeTimeoutMs,
                       "With --tls: milliseconds a client has from its connect to finish the TLS "
                       "handshake, else it is dropped (said in the log once per address)")
            ->capture_default_str()
            ->check(CLI::Range(1, 600000));
    const int mostDevices = MostDevices();
    const std::string countLimit =
        mostDevices < kMaxDevices ? "devices on this system, where one wait (select()) holds " +
                                        std::to_string(kelvarin::net::MaxWaitSockets()) +
                                        " sockets: two listeners and a client a device"
                                  : "devices";
    app.add_option("--count", options->count,
                   "Run this many devices, each with its own memory and ports, one line each "
                   "(a non-zero port is then the first of consecutive ports, and --image-out "
                   "PATH becomes PATH.0, PATH.1, ...); at most " +
                       std::to_string(mostDevices) + " " + countLimit)
        ->capture_default_str()
        ->check(kelvarin::cmdline::AtMost(mostDevices, countLimit))
        ->check(CLI::Range(1, mostDevices));
    app.add_option("--load", raw->loadPath,
                   "Start holding this image (from kelvarin-cli pack), checked as kelvarin-cli "
                   "send --image checks it, so its pages are served at once");
    app.add_option("--http-timeout", raw->httpTimeoutMs,
                   "Milliseconds an HTTP client has to send its whole request")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600000));
    app.add_option("--modbus-timeout", raw->modbusTimeoutMs,
                   "Milliseconds a Modbus client may send nothing (no reply of ours on its way) "
                   "before it is disconnected")
        ->capture_default_str()
        ->check(CLI::Range(1, 3600000));
    raw->identity = AddIdentityOptions(app);

    return [raw, options]() -> std::optional<int> {
        if (!raw->fault.empty()) {
            options->fault = *ParseFaultMode(raw->fault);
        }
        if (!raw->loss.empty()) {
            ParseLoss(raw->loss, options->link);
        }
        if (!raw->maxInFlight.empty()) {
            const bool numberFirst = raw->maxInFlight[0] != "busy" && raw->maxInFlight[0] != "drop";
            const bool modeSecond = raw->maxInFlight.size() == 1 || raw->maxInFlight[1] == "busy" ||
                                    raw->maxInFlight[1] == "drop";
            if (!numberFirst || !modeSecond) {
                std::fprintf(stderr, "kelvarin-device: --max-in-flight is N then busy or drop\n");
                return kExitUsage;
            }
            options->link.maxInFlight = std::atoi(raw->maxInFlight[0].c_str());
            options->link.dropPastMax =
                raw->maxInFlight.size() == 2 && raw->maxInFlight[1] == "drop";
        }
        options->link.unitMissingException = raw->unitMissing == "exception";
        options->identity = raw->identity();
        if (raw->tls) {
            if (raw->tlsFiles.cert.empty() || raw->tlsFiles.key.empty() ||
                raw->tlsFiles.ca.empty()) {
                std::fprintf(stderr, "kelvarin-device: --tls needs --cert, --key and --ca\n");
                return kExitUsage;
            }
            // An empty role would let in every certificate that names none.
            for (const auto* roles : {&options->link.writeRoles, &options->link.readRoles}) {
                if (std::find(roles->begin(), roles->end(), std::string()) != roles->end()) {
                    std::fprintf(
                        stderr,
                        "kelvarin-device: --write-role and --read-role need a role, not an "
                        "empty text\n");
                    return kExitUsage;
                }
            }
            kelvarin::tls::Failure failure = kelvarin::tls::Failure::kNone;
            std::string detail;
            options->tls = kelvarin::tls::Context::Server(raw->tlsFiles, &failure, &detail);
            if (!options->tls) {
                std::fprintf(stderr, "kelvarin-device: %s\n", detail.c_str());
                return kExitUsage;
            }
        } else if (!raw->tlsFiles.cert.empty() || !raw->tlsFiles.key.empty() ||
                   !raw->tlsFiles.ca.empty() || !options->link.writeRoles.empty() ||
                   !options->link.readRoles.empty() || raw->handshakeTimeout->count() > 0) {
            std::fprintf(stderr,
                         "kelvarin-device: --cert, --key, --ca, the roles and --handshake-timeout "
                         "need --tls\n");
            return kExitUsage;
        }
        options->tlsHandshakeTimeout = std::chrono::milliseconds(raw->handshakeTimeoutMs);
        options->httpRequestTimeout = std::chrono::milliseconds(raw->httpTimeoutMs);
        options->modbusIdleTimeout = std::chrono::milliseconds(raw->modbusTimeoutMs);
        if (!raw->loadPath.empty()) {
            // Refused as send --image refuses it: nothing the device would not
            // have been sent.
            kelvarin::ImageFile image = kelvarin::LoadImageFile(raw->loadPath);
            if (image.fault != kelvarin::ImageFileFault::kNone) {
                const kelvarin::MessageCatalog catalog(kelvarin::LanguageFromEnvironment());
                std::fprintf(stderr, "kelvarin-device: %s\n",
                             catalog.ImageFileLine(raw->loadPath, image).c_str());
                return kExitUsage;
            }
            options->image = std::move(image.bytes);
        }
        return std::nullopt;
    };
}

}  // namespace kelvarin::device
