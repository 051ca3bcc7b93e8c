// kelvarin-cli: the headless front end (pack, inspect, send, verify, fleet).
#include "command_line.h"
#include "commands.h"
#include "fleet.h"
#include "manual_text.h"
#include "net.h"
#include "user_dirs.h"

#include <kelvarin/version.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace {

using kelvarin::cli::ImageSource;
using kelvarin::cli::PackSource;

// The options every command that packs takes: the files (FILE... or --site),
// the site root and the web options.
void AddPackOptions(CLI::App& command, PackSource& source) {
    CLI::Option* files = command.add_option("files", source.files, "Files to pack, at most 50");
    CLI::Option* site = command.add_option(
        "--site", source.site,
        "Pack every file below this folder (hidden ones skipped), each named by its path "
        "below it: the index pages first, then the other HTML pages, then the rest, each "
        "group in path order");
    CLI::Option* root = command.add_option("--root", source.root,
                                           "Name files below this folder by their path below it");
    site->excludes(files)->excludes(root);
    command.add_flag("--content-types", source.contentTypes,
                     "Give each file its content type from the built-in table");
    command.add_flag("--gzip", source.gzip,
                     "Store HTML, CSS, JS, JSON, SVG, XML and text gzip-compressed where smaller");
    command.add_flag("--all-or-nothing", source.allOrNothing,
                     "When any file cannot be packed (unreadable, too large, past the 50th), "
                     "pack, write and send nothing and exit 1, naming what did not fit");
}

// AddPackOptions and --image, for the commands that send or compare an image.
void AddImageOptions(CLI::App& command, ImageSource& source) {
    AddPackOptions(command, source.files);
    CLI::Option* image =
        command.add_option("--image", source.image,
                           "Use this image file as it is (checked first) instead of packing files");
    image->excludes(command.get_option("files"))->excludes(command.get_option("--site"));
}

// Makes command fail as a usage error when none of the named options is given.
void RequireOneOf(CLI::App& command, std::vector<std::string> names, std::string what) {
    command.callback([&command, names, what] {
        for (const std::string& name : names) {
            if (command.get_option(name)->count() > 0) {
                return;
            }
        }
        throw CLI::RequiredError(what);
    });
}

// How the device is talked to beyond the defaults, for send, verify and
// fleet.
void AddLinkOptions(CLI::App& command, kelvarin::cli::LinkArguments& link) {
    command
        .add_option("--retries", link.retries,
                    "Send a request whose reply is missing or wrong again, up to N times, after "
                    "100, 200, 400 ... ms; reconnect as often when the connection is lost and go "
                    "on where it stopped (default 0)")
        ->check(CLI::Range(0, kelvarin::kMaxRetries));
    command
        .add_option("--window", link.window,
                    "Requests in flight at once, each with its own transaction id: 1 to " +
                        std::to_string(kelvarin::kMaxWindow) +
                        ", or auto (start at 1, grow while replies come back clean); falls back "
                        "to 1 at the first time-out, wrong reply or busy device (default 1)")
        ->check([](const std::string& text) -> std::string {
            if (text == "auto") {
                return {};
            }
            int value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc() && end == text.data() + text.size() && value >= 1 &&
                           value <= kelvarin::kMaxWindow
                       ? std::string()
                       : "--window is 1 to " + std::to_string(kelvarin::kMaxWindow) +
                             " or auto: " + text;
        });
    command
        .add_option("--chunk", link.chunk,
                    "Image bytes per write request, even, 2 to " +
                        std::to_string(kelvarin::kLargestChunkBytes) +
                        " (default 128; the largest one request may carry)")
        ->check([](const std::string& text) -> std::string {
            int value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc() && end == text.data() + text.size() && value >= 2 &&
                           value <= static_cast<int>(kelvarin::kLargestChunkBytes) &&
                           value % 2 == 0
                       ? std::string()
                       : "--chunk is an even number from 2 to " +
                             std::to_string(kelvarin::kLargestChunkBytes) + ": " + text;
        });
    const std::string most = std::to_string(kelvarin::kMaxTimeoutMs);
    command
        .add_option("--timeout", link.timeoutMs,
                    "Milliseconds to wait for the connection, for each request to leave and "
                    "for each reply, 1 to " + most + " (default 200); for links slower than "
                    "the default allows")
        ->check(CLI::Range(1, kelvarin::kMaxTimeoutMs));
    command
        .add_option("--first-timeout", link.firstTimeoutMs,
                    "Milliseconds to wait for the reply to the first request, with nothing "
                    "else in flight meanwhile, 1 to " + most + ", for a device that prepares "
                    "its memory when the first write arrives (default: as --timeout)")
        ->check(CLI::Range(1, kelvarin::kMaxTimeoutMs));
    command.add_option("--trace", link.tracePath,
                       "Write every frame sent and received to this file: time in ms, "
                       "direction, transaction id, bytes in hex");
    // Modbus/TCP Security.
    CLI::Option* tls = command.add_flag(
        "--tls", link.tls.on,
        "Speak Modbus/TCP Security: the frames inside TLS 1.2 or later, this client's "
        "certificate (--cert, --key) shown to the device, the device's checked against --ca and "
        "the address dialled (port 802 is the protocol's)");
    CLI::Option* cert = command.add_option("--cert", link.tls.cert,
                                           "TLS: this client's certificate (PEM)");
    CLI::Option* key = command.add_option("--key", link.tls.key,
                                          "TLS: its private key (PEM); one others can read is "
                                          "used, and the log warns");
    command.add_option("--key-password-file", link.tls.keyPasswordFile,
                       "TLS: the encrypted key's passphrase, the first line of this file")
        ->needs(key);
    CLI::Option* ca = command.add_option(
        "--ca", link.tls.ca, "TLS: the certificates the device's must chain to (PEM)");
    command
        .add_option("--tls-name", link.tls.name,
                    "TLS: the name the device's certificate must hold in its subjectAltName, "
                    "instead of the address dialled; any: any certificate that chains to --ca "
                    "(said in the log)")
        ->needs(tls);
    tls->needs(cert)->needs(key)->needs(ca);
    cert->needs(tls);
    command
        .add_option("--unit", link.unit,
                    "The Modbus unit identifier of every request, 0 to 255 (default 0); many "
                    "devices answer only 1 or 255, and a gateway to serial devices takes 0 for "
                    "a broadcast that none answers")
        ->check(CLI::Range(0, 255));
}

// Where the journal is, for every command that touches a device.
void AddJournalOptions(CLI::App& command, kelvarin::cli::JournalArguments& journal,
                       bool sizeWarning = true) {
    command.add_option("--journal", journal.path,
                       std::string("The journal of every operation on a device (default ") +
                           kelvarin::kUserPlaceNames.journal + "), or none: nothing is "
                           "journalled for this run");
    if (sizeWarning) {
        command
            .add_option("--journal-max-mb", journal.maxMb,
                        "Warn in the log when the journal is larger than this many MB "
                        "(default 256); it is never cut")
            ->check(CLI::Range(1, 1 << 20));
    }
}

void AddTarget(CLI::App& command, std::string& address, int& port) {
    command
        .add_option("address", address,
                    "Device IPv4 address (four decimal fields; 010 is ten) or host name")
        ->required()
        ->transform(kelvarin::cmdline::AddressOrHostName());
    command.add_option("port", port, "Device TCP port")->required()->check(CLI::Range(1, 65535));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvarin;
    using namespace kelvarin::cli;

    CLI::App app{"Kelvarin: packs web pages into a device image and downloads it over Modbus/TCP",
                 "kelvarin-cli"};
    cmdline::SetUp(app, std::string("kelvarin-cli ") + kelvarin::kVersion);
    app.require_subcommand(1);

    std::string packOutput;
    PackSource packSource;
    CLI::App* pack = app.add_subcommand("pack", "Pack files into a web image");
    pack->add_option("-o,--output", packOutput, "Image file to write")->required();
    AddPackOptions(*pack, packSource);
    RequireOneOf(*pack, {"files", "--site"}, "files or --site");

    std::string inspectImage;
    std::string extractDir;
    CLI::App* inspect = app.add_subcommand("inspect", "List and check the records of an image");
    inspect->add_option("image", inspectImage, "Image file")->required();
    inspect->add_option("--extract", extractDir,
                        "Write each file's contents under this folder, by its URL path");

    SendArguments sendArguments;
    CLI::App* send = app.add_subcommand(
        "send", "Pack files, or take an image file, and download the image to a device");
    AddTarget(*send, sendArguments.address, sendArguments.port);
    AddImageOptions(*send, sendArguments.source);
    send->add_option("--dump", sendArguments.dumpPath,
                     std::string("Where to write the copy of the image (default ") +
                         kUserPlaceNames.dump + ")");
    send->add_flag("--verify", sendArguments.verify,
                   "Read the image back after the download and compare");
    send->add_option("--backup", sendArguments.backupDir,
                     "Before the first write, read the device's image out into this folder "
                     "(ADDRESS-PORT-UNIT-YYYYMMDDTHHMMSSZ.img, UTC); a device that cannot be read "
                     "out is not written. Roll back with send --image BACKUP");
    AddLinkOptions(*send, sendArguments.link);
    AddJournalOptions(*send, sendArguments.journal);
    RequireOneOf(*send, {"files", "--site", "--image"}, "files, --site or --image");

    VerifyArguments verifyArguments;
    CLI::App* verify = app.add_subcommand(
        "verify", "Read the image memory of a device back and compare it with an image");
    AddTarget(*verify, verifyArguments.address, verifyArguments.port);
    AddImageOptions(*verify, verifyArguments.source);
    AddLinkOptions(*verify, verifyArguments.link);
    AddJournalOptions(*verify, verifyArguments.journal);
    RequireOneOf(*verify, {"files", "--site", "--image"}, "files, --site or --image");

    FleetArguments fleetArguments;
    CLI::App* fleet = app.add_subcommand(
        "fleet", "Pack once and download the image to every device of a targets file at once");
    fleet
        ->add_option("--targets", fleetArguments.targetsPath,
                     "File of ADDRESS[:PORT][/UNIT] lines (port 502 and --unit when left out; "
                     "# comments)")
        ->required();
    AddImageOptions(*fleet, fleetArguments.source);
    fleet->add_option("--dump", fleetArguments.dumpPath,
                      std::string("Where to write the copy of the image (default ") +
                          kUserPlaceNames.dump + ")");
    fleet->add_flag("--verify", fleetArguments.verify,
                    "Read each device's image back after its download and compare");
    fleet->add_flag("--json", fleetArguments.json,
                    "Print one JSON array of results (target, ok, failed_chunks, seconds, "
                    "error) instead of lines");
    // One wait holds every device's socket: where a wait holds fewer sockets
    // (select() on Windows), so many devices at once and no more.
    const int mostJobs =
        static_cast<int>(std::min<std::size_t>(kelvarin::kMaxFleetJobs, net::MaxWaitSockets()));
    const std::string jobsLimit =
        mostJobs < kelvarin::kMaxFleetJobs
            ? "devices at once on this system, where one wait (select()) holds " +
                  std::to_string(net::MaxWaitSockets()) + " sockets"
            : "devices at once";
    fleet
        ->add_option("--jobs", fleetArguments.jobs,
                     "Devices at once (default: all of them); at most " + std::to_string(mostJobs) +
                         " " + jobsLimit)
        ->check(cmdline::AtMost(mostJobs, jobsLimit))
        ->check(CLI::Range(1, mostJobs));
    fleet->add_flag("--skip-current", fleetArguments.skipCurrent,
                    "Read each device back first and leave alone those that already hold the "
                    "image (reported as current)");
    fleet
        ->add_option("--canary", fleetArguments.canary,
                     "Send to the first N targets of the file alone first; the rest start only "
                     "when every one of them succeeded (verified, with --verify)")
        ->check(CLI::Range(1, 1 << 20));
    fleet
        ->add_option("--max-failures", fleetArguments.maxFailures,
                     "Once K devices have failed, start no further device; those not started "
                     "are said (\"started\": false in the JSON) and the run exits 1")
        ->check(CLI::Range(1, 1 << 20));
    fleet->add_option("--backup", fleetArguments.backupDir,
                      "Before its first write, read each device's image out into this folder "
                      "(a file a device); a device that cannot be read out is not written and "
                      "fails, the others go on");
    AddLinkOptions(*fleet, fleetArguments.link);
    AddJournalOptions(*fleet, fleetArguments.journal);
    RequireOneOf(*fleet, {"files", "--site", "--image"}, "files, --site or --image");

    PullArguments pullArguments;
    CLI::App* pull = app.add_subcommand(
        "pull", "Read the image a device holds out into an image file, and list its records");
    AddTarget(*pull, pullArguments.address, pullArguments.port);
    pull->add_option("-o,--output", pullArguments.output,
                     "Image file to write: exactly the image's bytes, as pack writes them")
        ->required();
    AddLinkOptions(*pull, pullArguments.link);
    AddJournalOptions(*pull, pullArguments.journal);

    HistoryArguments historyArguments;
    CLI::App* history = app.add_subcommand(
        "history", "List the journal's records of operations on devices, or check its chain");
    history->add_option("--device", historyArguments.device,
                        "Only the records of this device: ADDRESS[:PORT][/UNIT]");
    history->add_option("--since", historyArguments.since,
                        "Only the records from this day on (YYYY-MM-DD, UTC)");
    history->add_flag("--json", historyArguments.json, "Print each record whole, as JSON");
    history->add_flag("--check", historyArguments.check,
                      "Read every page and walk the chain of hashes, the file opened read-only; "
                      "when intact, print the newest record's hash on a line of its own, "
                      "\"head SHA256 SEQ TIME\", to keep where this account cannot write");
    history
        ->add_option("--head", historyArguments.head,
                     "With --check: a head kept earlier (its SHA-256), which the intact chain "
                     "must hold: a journal cut, rewritten or replaced since fails")
        ->check([](const std::string& text) -> std::string {
            const bool hex = text.size() == 64 &&
                             text.find_first_not_of("0123456789abcdef") == std::string::npos;
            return hex ? std::string() : "not a SHA-256 (64 lowercase hexadecimal digits)";
        });
    AddJournalOptions(*history, historyArguments.journal, false);

    // --help of every command and the man page (--manual) from the options above.
    manual::Document(app, kVersion, kManualSummary, &CommandSections, ProgramSections());

    if (const std::optional<int> code = cmdline::Parse(app, argc, argv, kExitUsage)) {
        return *code;
    }

    if (*pack) {
        return RunPack(packOutput, packSource);
    }
    if (*send) {
        return RunSend(sendArguments);
    }
    if (*verify) {
        return RunVerify(verifyArguments);
    }
    if (*pull) {
        return RunPull(pullArguments);
    }
    if (*history) {
        return RunHistory(historyArguments);
    }
    if (*fleet) {
        return RunFleet(fleetArguments);
    }
    if (*inspect) {
        return RunInspect(inspectImage, extractDir);
    }
    return kExitUsage;
}
