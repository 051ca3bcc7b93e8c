// The texts of kelvarin-cli's manual beside its options: exit codes, the
// targets file, what it reads, examples. The options document themselves
// where they are added (main.cpp).
#include "manual_text.h"

#include "user_dirs.h"

namespace kelvarin::cli {

namespace {

using manual::Item;
using manual::Section;

const Item kUsageExit = {
    "2", "Usage error: a bad option or argument, a --root or --site that is not a readable "
         "folder, a --site without files, or an --image that cannot be used (unreadable, "
         "larger than 131072 bytes, of odd length, broken or of no records); nothing is "
         "sent."};

// The targets file's format, under fleet.
Section TargetsFile() {
    return {"Targets file",
            "One device a line: ADDRESS[:PORT][/UNIT], a dotted IPv4 address, a TCP port (502 "
            "when left out) and a unit identifier (--unit when left out). '#' starts a comment; blank lines and a UTF-8 byte order mark at the "
            "start are ignored. A line that is not a target (a bad address, 0.0.0.0, a port "
            "outside 1..65535) or that names a target already listed (however written: "
            "10.0.0.01 is 10.0.0.1) is an error: every such line is named (up to 20) and nothing "
            "is sent (exit 2).",
            {},
            {"# shop floor, hall 2", "192.168.2.80", "192.168.2.81:1502",
             "10.0.0.5:502   # the spare"}};
}

Section ExitStatus(std::vector<Item> items) {
    return {"Exit status", "", std::move(items), {}};
}

}  // namespace

std::vector<Section> CommandSections(std::string_view command) {
    if (command == "pack") {
        return {ExitStatus({
            {"0", "Every file was packed and the image written."},
            {"1", "A file was left out: it cannot be opened or read, it does not fit, or it "
                  "is past the 50th. With --all-or-nothing no image is written."},
            {"2", "Usage error, as for send, or the image cannot be written."},
        })};
    }
    if (command == "inspect") {
        return {ExitStatus({
            {"0", "A sound image (and, with --extract, every file a device would serve "
                  "written; of records with one URL path only the first, which a device "
                  "serves, is extracted, and the others are named)."},
            {"1", "A broken image (what is wrong and at which offset is said), or an "
                  "extraction refused (a name that would leave the folder, or on Windows "
                  "a device name or a stream) or failed."},
            {"2", "The image cannot be read as one: missing, not a regular file, or larger "
                  "than the 131072-byte image memory."},
        })};
    }
    if (command == "send") {
        return {ExitStatus({
            {"0", "Every file was packed, every chunk echoed and, with --verify, the device "
                  "holds the image."},
            {"1", "Something failed: a file left out, a chunk not echoed, the connection "
                  "lost, or (with --verify) the device holds other bytes. With "
                  "--all-or-nothing and a file that does not fit, nothing is sent."},
            {"2", kUsageExit.text + " Also a --backup file that cannot be kept: the device is "
                                    "not written."},
            {"3", "The connection could not be made (an address that is empty or 0.0.0.0 is "
                  "not tried)."},
            {"4", "With --verify: the download succeeded but the device cannot be read back. "
                  "With --backup: the device cannot be read out, and is not written."},
            {"130", "Stopped by Ctrl+C (after the replies of the requests in flight; the log "
                    "says what the device now holds)."},
        })};
    }
    if (command == "verify") {
        return {ExitStatus({
            {"0", "The device holds the image."},
            {"1", "The device holds other bytes (the first differing offset and how many "
                  "differ are said), or files were left out of the image (with "
                  "--all-or-nothing the device is not asked)."},
            {"2", "Usage error, as for send, or nothing to compare: no file was packed, or "
                  "the --image holds no records; the device is not asked."},
            {"3", "The connection could not be made."},
            {"4", "The device cannot be read back."},
            {"130", "Stopped by Ctrl+C (after the replies of the requests in flight)."},
        })};
    }
    if (command == "pull") {
        return {ExitStatus({
            {"0", "The image was read out and written, exactly its bytes (what pack writes)."},
            {"1", "The device holds no sound image (a new device is all 0xFF): what is wrong "
                  "and at which offset is said; nothing is written."},
            {"2", "Usage error, or the image file cannot be written."},
            {"3", "The connection could not be made."},
            {"4", "The device cannot be read back."},
            {"130", "Stopped by Ctrl+C; nothing is written."},
        })};
    }
    if (command == "history") {
        return {ExitStatus({
            {"0", "The records were listed; or (--check) the journal has exactly its schema and "
                  "every link of its chain holds (and, with --head, the chain holds that "
                  "record)."},
            {"1", "--check: the chain is broken (the first record that does not hold is "
                  "named, and what is wrong), or the schema was altered past SQLite's guards "
                  "(its triggers dropped); with --head, the intact chain does not hold that "
                  "record."},
            {"2", "Usage error (a --device that is not ADDRESS[:PORT][/UNIT], a --since that "
                  "is not a real day, --head without --check), or a file that is no readable "
                  "journal (damaged, foreign, empty, missing), SQLite's reason on standard "
                  "error."},
        })};
    }
    if (command == "scan") {
        return {ExitStatus({
            {"0", "The scan ran, whatever it found: a line (or a JSON object) for each unit "
                  "that answered, and one for each address that took a connection but "
                  "answered at no unit. Nothing is written to any device."},
            {"2", "Usage error: no RANGE, a range that names no addresses or a block of more "
                  "than 65536, a --units that is not unit numbers; or a --targets-out file "
                  "that cannot be written."},
            {"3", "No connection could be made at any address."},
            {"130", "Stopped by Ctrl+C: the addresses done so far are listed."},
        })};
    }
    if (command == "fleet") {
        return {ExitStatus({
                    {"0", "Every device holds the image (checked with --verify) and every "
                          "file was packed."},
                    {"1", "A device failed or a file was left out. With --all-or-nothing and "
                          "a file that does not fit, no device is touched."},
                    {"2", "Usage error, as for send, or a targets file that cannot be read, "
                          "holds no target or has bad lines (each named); nothing is sent."},
                }),
                TargetsFile()};
    }
    // kelvarin-cli itself.
    return {ExitStatus({
        {"0", "Success."},
        {"1", "Something failed or was left out."},
        {"2", "Usage error; nothing was sent."},
        {"3", "No connection (send, verify, pull; scan: at no address)."},
        {"4", "The device cannot be read back (send --verify, send --backup, verify, pull)."},
        {"130", "Stopped by Ctrl+C."},
    })};
}

std::vector<Section> ProgramSections() {
    return {
        {"Web options",
         "Without web options the image is in the default format: each file is named \"/\" and "
         "its base name, HTML files are served as text/html and everything else as "
         "application/octet-stream, and files are packed in the order given. --content-types, "
         "--gzip, --root and --site make the device serve a site as a static web server "
         "does.\n\n"
         "With --site, the pages that make a site usable are packed first: each folder's index "
         "page (index.htm, index.html), then the other HTML pages, then everything else, each "
         "group in the order of its paths. When the site is larger than the image, the log "
         "names each file left out and the bytes it needed; --all-or-nothing refuses to send "
         "(or write) a partial image.",
         {},
         {}},
        {"Log",
         "The log lines go to standard output (with fleet --json, to standard error, and the "
         "JSON alone to standard output); a progress bar is drawn on standard error when it is "
         "a terminal. Usage errors go to standard error. Each chunk that failed is said with "
         "the image bytes sent, the offset in its 64 KiB page and the file number in "
         "hexadecimal: a wrong reply, no reply within 200 ms (--timeout), or a lost connection (the "
         "download stops).",
         {},
         {}},
        {"Environment",
         "",
         {{"LC_ALL, LC_MESSAGES, LANG",
           "The first that is set and not empty chooses the log's language: an English locale "
           "(en, en_US.UTF-8, ...) gives English, anything else Simplified Chinese, also when "
           "none is set. --help and the JSON of fleet --json are English in every locale."},
          {kUserPlaceNames.dataVariables,
           "Where the dump of the last image sent is kept (see FILES)."},
          {kUserPlaceNames.stateVariables, "Where the journal is kept (see FILES)."}},
         {}},
        {"Field safety",
         "pull reads the image a device holds out, exactly its bytes. --backup DIR on send and "
         "fleet keeps each device's image before its first write, in "
         "DIR/ADDRESS-PORT-UNIT-YYYYMMDDTHHMMSSZ.img (UTC); a blank device gets no file (the "
         "log says so), one whose memory holds no sound image has its whole memory kept as "
         "...-memory.bin, and one that cannot be read out is not written. A rollback is send "
         "--image BACKUP.\n\n"
         "Every operation on a device (send, verify, pull, each device of a fleet, and the "
         "window's Send) is journalled: a record before anything goes to the device and one "
         "when it ends, each with the time (UTC), user, host, program and version, the "
         "device, the image's SHA-256, length and records, the options that change the wire "
         "and, at the end, the outcome. Records are only ever appended and each holds the "
         "SHA-256 of the one before and of itself: history --check finds any record changed, "
         "deleted or inserted, unless every hash after it was made anew, which the head line "
         "it prints (head SHA256 SEQ TIME), kept where this account cannot write and checked "
         "with --check --head, shows too. --journal none keeps no "
         "record of the run: an auditor then cannot tell it happened. A journal that cannot "
         "be written never stops an operation: the log says so in one line.\n\n"
         "fleet --canary N sends to the first N targets alone first; --max-failures K starts "
         "no device once K failed. --unit N (0 to 255, default 0) is the Modbus unit "
         "identifier of every request; a targets file may give one a target "
         "(ADDRESS[:PORT][/UNIT]).",
         {},
         {}},
        {"Modbus/TCP Security",
         "--tls (with --cert, --key and --ca) on send, verify, pull and fleet puts every frame "
         "inside TLS 1.2 or later, this client's certificate shown to the device and the "
         "device's checked: it must chain to --ca (every certificate of the chain valid now), "
         "be made for a server and name the address dialled in its subjectAltName, never in "
         "its CN alone (or --tls-name NAME; --tls-name any checks no name, said in the log). "
         "A device that fails a check is sent nothing: the connection fails (exit 3) with the "
         "reason (expired, its CA certificate expired, unknown issuer, wrong name, not made "
         "for a server, no common protocol version, this client's certificate refused). The "
         "connect line names the TLS version and the device "
         "certificate's subject; a reconnect resumes the session. An encrypted key reads its "
         "passphrase from --key-password-file; a key others can read is used, with a warning. "
         "A write the certificate's role does not allow is answered with exception 01, said "
         "once as the role's.",
         {},
         {}},
        {"Files",
         "",
         {{kUserPlaceNames.dump,
           "The copy of the last image sent by send and fleet" +
               manual::DefaultPlace(kUserPlaceNames.dumpDefault) +
               "; --dump PATH writes elsewhere. A dump that cannot be written is said in the "
               "log and the download goes on."},
          {kUserPlaceNames.journal,
           "The journal of every operation on a device, an SQLite database" +
               manual::DefaultPlace(kUserPlaceNames.journalDefault) +
               "; --journal PATH moves it, --journal none keeps none for the run."},
          {*kUserPlaceNames.settingsDefault != '\0' ? kUserPlaceNames.settingsDefault
                                                     : kUserPlaceNames.settings,
           "The window's settings; kelvarin-cli reads no settings file."}},
         {}},
        {"Examples",
         "",
         {{"kelvarin-cli pack -o image.bin --site /srv/site --content-types --gzip",
           "Pack a site with the web options into image.bin."},
          {"kelvarin-device --load image.bin", "See in a browser what a device would serve."},
          {"kelvarin-cli send 192.168.2.80 502 --image image.bin --verify",
           "Download that image and read it back."},
          {"kelvarin-cli send 192.168.2.80 502 index.htm logo.png",
           "Pack two files in the default format and download them."},
          {"kelvarin-cli fleet --targets hall2.txt --site /srv/site --all-or-nothing --json",
           "Send a whole site to every device of a targets file, or nothing when it does not "
           "fit; results as JSON."},
          {"kelvarin-cli send 192.168.2.80 502 --site /srv/site --backup /var/backups/kelvarin",
           "Keep what the device holds, then send the site."},
          {"kelvarin-cli send 192.168.2.80 502 --image /var/backups/kelvarin/BACKUP.img",
           "Roll back: put the kept image back."},
          {"kelvarin-cli scan 10.0.2.0/24 --site /srv/site --targets-out hall2.txt",
           "Find the devices of a hall's network: who each is, which image it holds and whether "
           "it is the site's; the devices that answered, as a targets file for fleet."},
          {"kelvarin-cli fleet --targets hall2.txt --site /srv/site --canary 2 --max-failures 3",
           "Two devices first; the rest only when both succeeded, and no more after three "
           "failures."},
          {"kelvarin-cli send 192.168.2.80 802 --site /srv/site --tls --cert operator.pem "
           "--key operator.key --ca plant-ca.pem",
           "Send a site over Modbus/TCP Security, both certificates checked."},
          {"kelvarin-cli history --device 192.168.2.80 --since 2026-01-01",
           "What was loaded onto a device this year."}},
         {}},
        {"See also", "kelvarin(1), kelvarin-device(1)", {}, {}},
    };
}

}  // namespace kelvarin::cli
