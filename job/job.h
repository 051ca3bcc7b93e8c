// A job: what a front end asks for, as one plain value. The window's Send,
// kelvarin-cli's pack, send, verify and fleet each build one and hand it to
// RunJob (job_run.h), which checks it before anything is opened or
// connected, runs it, and reports what happened (job_report.h).
#pragma once

#include "device_report.h"
#include "dump_file.h"
#include "link_timeouts.h"
#include "packer.h"
#include "targets.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

// Where the image comes from: files to pack, a site folder, or an image file.
struct JobSource {
    // Files to pack, in order. The file list's rules apply: a path given
    // twice is packed once, at most 50, the rest left out and named.
    std::vector<std::string> files;
    // A site folder: its files, in site order, replace files; it is the root.
    std::string site;
    // An image file, sent or compared as it is (checked before use).
    std::string image;
    // A site root that must be a readable folder (--root); it becomes the
    // web options' site root.
    std::string root;
    // The web options (siteRoot: the window's site root, taken as it is).
    PackOptions pack;
    // Files a front end's own list already left out (the window's, past the
    // 50th); named with the others.
    std::vector<std::string> leftOut;
    // The total a front end's list shows (the window's total row); measured
    // from files when not given.
    std::optional<std::uint64_t> listedBytes;
    // Nothing is sent (or written) unless every file is packed.
    bool allOrNothing = false;
};

// What a job writes besides the device. Each is checked against every input
// (however spelt, links included) and against the others before anything is
// written.
struct JobOutputs {
    std::string imageFile;  // the packed image (pack), the image read out (pull); empty for none
    // A folder where each device's image is kept, read out before the first
    // write to it (send, fleet); empty for none. Made when missing.
    std::string backupDir;
    DumpTarget dump{""};    // a copy of the image sent; an empty path for none
    std::string trace;      // every frame sent and received; empty for none
    // A trace that cannot be written: false, the job is refused (a usage
    // error); true, the job goes on without it and says so (the window).
    bool traceOptional = false;
    // scan: the devices that answered, as a targets file fleet takes; empty for none.
    std::string targetsOut;
};

// Modbus/TCP Security for a job's connections: TLS with this client's
// certificate, checked against a CA both ways.
struct TlsPlan {
    bool on = false;              // off: plain Modbus/TCP, the default
    std::string cert;             // PEM: this client's certificate
    std::string key;              // PEM: its private key
    std::string keyPasswordFile;  // the key's passphrase in its first line (an encrypted key)
    std::string keyPassword;      // or the passphrase itself (the window asks for it)
    std::string ca;               // PEM: what a device's certificate must chain to
    std::string name;             // empty: the address dialled; "any": no name check
};

// Where a job's operations on devices are journalled.
struct JournalSettings {
    std::string path;      // empty: the default place (DefaultJournalPath)
    bool off = false;      // --journal none: nothing is journalled
    std::uint64_t warnBytes = std::uint64_t{256} << 20;  // past this size the log warns
    std::string program = "kelvarin-cli";                // who writes the records
};

// One job.
struct JobPlan {
    JobKind kind = JobKind::kSend;
    JobSource source;
    // The device of send and verify (targets[0]); the fleet's come from
    // targetsFile.
    std::vector<FleetTarget> targets;
    std::string targetsFile;
    JobOutputs outputs;
    TransferOptions transfer;  // time-outs, retries, requests in flight, chunk size
    bool verify = false;       // read the image back after a download that succeeded
    bool skipCurrent = false;  // fleet: read each device first; leave alone those holding the image
    int jobs = 0;              // fleet: devices at once (0: all, up to what one wait holds)
    int canary = 0;            // fleet: the first N targets alone first, the rest once all succeeded
    int maxFailures = 0;       // fleet: once K devices failed, start no further one (0: no limit)
    // send, fleet: write only what differs from what each device holds
    // (read first), and read back what was written.
    bool delta = false;
    // With delta: take what a device holds from the journal and the image
    // store when they can be trusted (checked by sampling), else read it.
    bool trustJournal = false;
    // send, fleet: connect and read as the mode needs, say what would be
    // written and how long it would take; write nothing.
    bool dryRun = false;
    // scan: the ranges of addresses (ParseRange), the port and the units
    // asked at each; the source, when given, is the image each device is
    // compared with ("current").
    std::vector<std::string> ranges;
    int port = 502;
    std::vector<int> units = {0, 1, 255};
    JournalSettings journal;
    TlsPlan tls;
};

}  // namespace kelvarin
