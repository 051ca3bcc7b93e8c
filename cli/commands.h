// The subcommands of kelvarin-cli. Each returns the process exit code; what
// each code means for each command is written once, in manual_text.cpp (the
// --help and the man page).
#pragma once

#include "job_report.h"
#include "link_timeouts.h"
#include "packer.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin::cli {

// A command of kelvarin-cli: its options, declared on the program's
// parser, and what runs it once they are parsed (its exit code).
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

// Each command, added to app with its options (in the order --help lists
// them).
Command AddPackCommand(CLI::App& app);
Command AddInspectCommand(CLI::App& app);
Command AddSendCommand(CLI::App& app);
Command AddVerifyCommand(CLI::App& app);
Command AddFleetCommand(CLI::App& app);
Command AddPullCommand(CLI::App& app);
Command AddHistoryCommand(CLI::App& app);
Command AddScanCommand(CLI::App& app);

// Exit codes shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // something was skipped or failed
inline constexpr int kExitUsage = 2;   // bad usage, or an input or output that cannot be used
inline constexpr int kExitNoConnection = 3;
inline constexpr int kExitUnreadable = 4;  // the device cannot be read back

// Where the files to pack come from, and the web options.
struct PackSource {
    std::vector<std::string> files;  // FILE...
    std::string site;                // --site DIR: every file below DIR, DIR the root
    std::string root;                // --root DIR
    bool contentTypes = false;       // --content-types
    bool gzip = false;               // --gzip
    bool allOrNothing = false;       // --all-or-nothing
};

// The image a command sends or compares: packed from files, or an image file.
struct ImageSource {
    PackSource files;
    std::string image;  // --image IMAGE; empty to pack files
};

// pack -o IMAGE (FILE... | --site DIR) [options]: writes the packed image
// (never over one of the files to pack).
int RunPack(const std::string& output, const PackSource& source);

// inspect IMAGE [--extract DIR]: lists and checks the records. Of records
// with one URL path, only the first (the one a device serves) is extracted;
// the others are named.
int RunInspect(const std::string& image, const std::string& extractDir);

// Exit code of a send or verify stopped by Ctrl+C (128 + SIGINT, as shells
// report it).
inline constexpr int kExitInterrupted = 130;

// The exit code of a job's report, the job's one judgement.
int ExitCodeOf(const JobReport& report);

// The job source of the command line's source options.
JobSource SourceOf(const ImageSource& source);

// How the device is talked to beyond the defaults: --retries, --window,
// --chunk, --trace.
struct LinkArguments {
    int retries = 0;
    std::string window = "1";  // 1 to 16, or "auto"
    int chunk = static_cast<int>(kDefaultChunkBytes);
    int timeoutMs = LinkTimeouts{}.replyMs;  // connect, send and reply
    int firstTimeoutMs = 0;                  // the first reply; 0: as timeoutMs
    std::string tracePath;  // empty: no trace
    int unit = 0;           // the unit identifier of every request
    TlsPlan tls;            // --tls, --cert, --key, --key-password-file, --ca, --tls-name

    // The transfer options these arguments ask for (checked when parsed).
    TransferOptions Transfer() const;
};

// Where the journal is: --journal PATH (or none), --journal-max-mb.
struct JournalArguments {
    std::string path;  // empty: the default place; "none": no journal
    int maxMb = 256;   // past this size a warning

    // The job's journal settings these ask for.
    JournalSettings Settings() const;
};

// Writing only what changed: --delta, --trust-journal, --dry-run.
struct DeltaArguments {
    bool delta = false;
    bool trustJournal = false;
    bool dryRun = false;
};

// What send is to do.
struct SendArguments {
    std::string address;
    int port = 0;
    ImageSource source;
    std::string dumpPath;  // empty for the default dump file
    bool verify = false;   // read the image back after the download
    std::string backupDir;  // --backup DIR: the device's image kept here first
    DeltaArguments delta;
    LinkArguments link;
    JournalArguments journal;
};

// What verify is to do.
struct VerifyArguments {
    std::string address;
    int port = 0;
    ImageSource source;
    LinkArguments link;
    JournalArguments journal;
};

// send ADDRESS PORT (FILE... | --site DIR | --image IMAGE) [--dump PATH]
// [--verify] [options]: connects, packs (or reads and checks the image),
// dumps, downloads and, with --verify, reads the image back; Ctrl+C stops it
// after the requests in flight (the log says how far it got).
int RunSend(const SendArguments& arguments);

// verify ADDRESS PORT (FILE... | --site DIR | --image IMAGE) [options]:
// compares what the device holds with the image, sending nothing.
int RunVerify(const VerifyArguments& arguments);

// What fleet is to do.
struct FleetArguments {
    std::string targetsPath;
    ImageSource source;
    std::string dumpPath;
    bool verify = false;
    bool json = false;
    bool skipCurrent = false;  // read each device back first; leave alone those holding the image
    std::string backupDir;     // --backup DIR: each device's image kept here first
    int jobs = 0;
    int canary = 0;            // --canary N
    int maxFailures = 0;       // --max-failures K
    DeltaArguments delta;
    LinkArguments link;
    JournalArguments journal;
};

// fleet --targets FILE [--verify] [--json] [--jobs N] (FILE... | --site DIR |
// --image IMAGE) [--dump PATH] [options]: packs once and downloads to every
// target at once.
int RunFleet(const FleetArguments& arguments);

// What scan is to do.
struct ScanArguments {
    std::vector<std::string> items;  // RANGE..., then FILE...
    int port = 502;
    std::string units = "0,1,255";
    int jobs = 0;  // 0: the default
    bool json = false;
    std::string targetsOut;
    ImageSource source;  // its files come from items
    LinkArguments link;
    JournalArguments journal;
};

// scan RANGE... [FILE... | --site DIR | --image IMAGE] [options]: who each
// device of the ranges is and which image it holds, reading only.
int RunScan(const ScanArguments& arguments);

// What pull is to do.
struct PullArguments {
    std::string address;
    int port = 0;
    std::string output;  // -o IMAGE
    LinkArguments link;
    JournalArguments journal;
};

// pull ADDRESS PORT -o IMAGE [options]: reads the image the device holds and
// writes exactly its bytes, then lists its records.
int RunPull(const PullArguments& arguments);

// What history is to do.
struct HistoryArguments {
    std::string device;  // ADDRESS[:PORT]; empty: every device
    std::string since;   // YYYY-MM-DD; empty: from the first
    bool json = false;
    bool check = false;
    std::string head;    // --head SHA256: a kept head the chain must hold
    JournalArguments journal;
};

// history [--device ADDRESS[:PORT][/UNIT]] [--since YYYY-MM-DD] [--json]
// [--check [--head SHA256]]: the journal's records, oldest first, one line
// each (or each whole as JSON), the file opened read-only; --check reads
// every page and walks the chain (and looks for the kept head).
int RunHistory(const HistoryArguments& arguments);

}  // namespace kelvarin::cli
