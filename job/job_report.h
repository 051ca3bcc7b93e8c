// What a job did, as data: why it was refused, what became of the files,
// each device's facts and the one judgement of each device and of the whole
// job. Front ends render it (log lines, JSON, exit codes, the window's
// state); none of them judges.
#pragma once

#include "device_report.h"
#include "fleet.h"
#include "image_file.h"
#include "job.h"
#include "packer.h"
#include "site_folder.h"
#include "targets.h"
#include "tls.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

// Why a job was refused before anything was opened, connected or written.
enum class PlanFault {
    kNotAFolder,        // path: a site folder or site root that is not a readable folder
    kNoFilesInFolder,   // path: a site folder with no files in it
    kTargets,           // the targets file cannot be used (targets says why)
    kImageFile,         // the image file cannot be used (image says why)
    kOverwritesFile,    // output (field) is one of the files to pack
    kOverwritesImage,   // output is the image file to send or compare
    kOverwritesTargets, // output is the targets file
    kOverwritesTls,     // output is one of the TLS files (certificate, key, CA, passphrase)
    kOutputsCollide,    // output and other name one file
    kTraceUnwritable,   // the trace file cannot be written
    kNothingToCompare,  // a compare is asked for and no file was packed
    kPartial,           // all or nothing, and a file was not packed or left out
    kImageNotWritten,   // the image file (packed, or read out) cannot be written (error says why)
    kBackupUnusable,    // the backup folder cannot be made or is no folder
    kTlsFiles,          // a TLS file cannot be used (tlsFailure and error say why)
    kRange,             // path: a scan's range that names no addresses (error says why)
};

// What of a job a refusal names: a folder, an input or an output. Each
// front end has its own words for them (the command line its options, the
// window its labels).
enum class PlanField {
    kNone,
    kSite,             // the site folder
    kRoot,             // the site root
    kTargets,          // the targets file
    kImage,            // the image file sent or compared
    kOutput,           // the image file written (pack, pull)
    kDump,             // the dump file
    kTrace,            // the trace file
    kBackup,           // the backup folder
    kJournal,          // the journal
    kCert,             // this client's certificate
    kKey,              // its private key
    kKeyPasswordFile,  // the key's passphrase file
    kCa,               // the CA certificates
    kRange,            // a scan's range
    kTargetsOut,       // the targets file a scan writes
};

// One refusal, with what it names.
struct PlanProblem {
    PlanFault fault = PlanFault::kNotAFolder;
    PlanField field = PlanField::kNone;  // the output, input or folder at fault
    std::string path;                    // the file or folder
    PlanField other = PlanField::kNone;  // kOutputsCollide: the other output
    std::string error;   // kImageNotWritten: the system's reason
    ImageFile image;     // kImageFile
    TargetsFile targets; // kTargets
    tls::Failure tlsFailure = tls::Failure::kNone;  // kTlsFiles
    JobKind kind = JobKind::kSend;  // the job refused

    // A problem of fault naming field and path.
    static PlanProblem Of(PlanFault fault, PlanField field = PlanField::kNone,
                          std::string path = {}) {
        PlanProblem problem;
        problem.fault = fault;
        problem.field = field;
        problem.path = std::move(path);
        return problem;
    }
};

// How a whole job ended.
enum class JobOutcome {
    kOk,            // everything asked for was done
    kFailed,        // something failed or was left out, or a device holds other bytes
    kRefused,       // refused before anything was opened or connected
    kNoConnection,  // the device could not be connected
    kUnreadable,    // the device could not be read back
    kStopped,       // stopped on request before all was done
};

// What a job did.
struct JobReport {
    JobKind kind = JobKind::kSend;
    std::optional<PlanProblem> refusal;      // why nothing was done
    std::optional<PackResult> pack;          // when files were packed
    std::vector<std::string> leftOut;        // files not in the image: not packed, or left out
    std::size_t imageLength = 0;
    std::string imageSha256;                 // of the image sent, compared or read out (hex)
    bool dumpWritten = false;
    bool traceWritten = false;               // a trace was asked for and written
    std::vector<FleetTarget> targets;        // the devices to send to
    std::vector<DeviceReport> devices;       // each device's end, in the order of the targets
    std::string targetsOutError;             // scan: why the targets file could not be written
    bool stopped = false;                    // scan: a stop asked for ended it

    // Devices that succeeded.
    int Succeeded() const;
    // The one judgement of the job.
    JobOutcome Outcome() const;
    // True when the one device's connection broke for good.
    bool ConnectionLost() const;
};

}  // namespace kelvarin
