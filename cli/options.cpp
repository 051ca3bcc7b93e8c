// The options several commands of kelvarin-cli share, declared once.
#include "options.h"

#include "command_line.h"
#include "user_dirs.h"

#include <charconv>

namespace kelvarin::cli {


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
void AddLinkOptions(CLI::App& command, LinkArguments& link) {
    command
        .add_option("--retries", link.retries,
                    "Send a request whose reply is missing or wrong again, up to N times, after "
                    "100, 200, 400 ... ms; reconnect as often when the connection is lost and go "
                    "on where it stopped (default 0)")
        ->check(CLI::Range(0, kMaxRetries));
    command
        .add_option("--window", link.window,
                    "Requests in flight at once, each with its own transaction id: 1 to " +
                        std::to_string(kMaxWindow) +
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
                           value <= kMaxWindow
                       ? std::string()
                       : "--window is 1 to " + std::to_string(kMaxWindow) +
                             " or auto: " + text;
        });
    command
        .add_option("--chunk", link.chunk,
                    "Image bytes per write request, even, 2 to " +
                        std::to_string(kLargestChunkBytes) +
                        " (default 128; the largest one request may carry)")
        ->check([](const std::string& text) -> std::string {
            int value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc() && end == text.data() + text.size() && value >= 2 &&
                           value <= static_cast<int>(kLargestChunkBytes) &&
                           value % 2 == 0
                       ? std::string()
                       : "--chunk is an even number from 2 to " +
                             std::to_string(kLargestChunkBytes) + ": " + text;
        });
    const std::string most = std::to_string(kMaxTimeoutMs);
    command
        .add_option("--timeout", link.timeoutMs,
                    "Milliseconds to wait for the connection, for each request to leave and "
                    "for each reply, 1 to " + most + " (default 200); for links slower than "
                    "the default allows")
        ->check(CLI::Range(1, kMaxTimeoutMs));
    command
        .add_option("--first-timeout", link.firstTimeoutMs,
                    "Milliseconds to wait for the reply to the first request, with nothing "
                    "else in flight meanwhile, 1 to " + most + ", for a device that prepares "
                    "its memory when the first write arrives (default: as --timeout)")
        ->check(CLI::Range(1, kMaxTimeoutMs));
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
void AddJournalOptions(CLI::App& command, JournalArguments& journal, bool sizeWarning) {
    command.add_option("--journal", journal.path,
                       std::string("The journal of every operation on a device (default ") +
                           kUserPlaceNames.journal + "), or none: nothing is "
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
        ->transform(cmdline::AddressOrHostName());
    command.add_option("port", port, "Device TCP port")->required()->check(CLI::Range(1, 65535));
}

void AddDeltaOptions(CLI::App& command, DeltaArguments& delta) {
    CLI::Option* only = command.add_flag(
        "--delta", delta.delta,
        "Write only what changed: read what the device holds, lay the new files out against "
        "it so what did not change stays where it is, write only the chunks that differ and "
        "read them back; a blank, unreadable or full device gets the whole image (said)");
    command
        .add_flag("--trust-journal", delta.trustJournal,
                  "With --delta: take what the device holds from this journal's newest write "
                  "of it and the image kept then (checked by reading every record head and a "
                  "few samples) instead of reading it all; said as trusted, never as verified")
        ->needs(only);
    command.add_flag("--dry-run", delta.dryRun,
                     "Connect and read as the mode needs, then say what would be written "
                     "(chunks, bytes, requests) and about how long it would take at the round "
                     "trip measured; write nothing");
}

}  // namespace kelvarin::cli
