// What became of one device: the facts its operation gathered, and the one
// judgement of them that every front end, the fleet's canary group and the
// journal share.
#pragma once

#include "device_target.h"
#include "download.h"
#include "identify.h"
#include "pull.h"
#include "readback.h"
#include "tls.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

// What a job does (with its image, and with each device).
enum class JobKind {
    kPack,    // write it to an image file
    kSend,    // download it to one device (and read it back when asked)
    kVerify,  // only read one device back and compare
    kFleet,   // download it to every device of a targets file
    kPull,    // read the image one device holds out into an image file
    kScan,    // find devices on a range: who each is and what image it holds
};

// What one unit of an address said when scanned.
struct UnitScan {
    int unit = 0;
    IdentityReport identity;         // who it said it is (or how it did not)
    std::optional<PullReport> image;  // read when it answered (its bytes not kept)
    std::string imageSha256;          // of the sound image it holds
    int imageRecords = 0;
    std::size_t imageBytes = 0;
    // Compared with the scan's image (when it has one): whether the unit
    // holds exactly that image.
    std::optional<bool> current;
};

// What writing only what changed did on one device (or, a dry run, would do).
struct DeltaFacts {
    // Where the image it was laid against came from.
    enum class Base {
        kNone,     // nowhere: the whole image was sent (fallback says why)
        kRead,     // read from the device
        kTrusted,  // Kelvarin's own records, checked by sampling
    };
    // Why the whole image was sent after all.
    enum class Fallback {
        kNone,
        kBlank,           // the memory is blank
        kUnreadable,      // the device could not be read
        kNoImage,         // it holds no sound image
        kNoRoom,          // no free space holds what changed
        kDuplicateNames,  // two files of one URL name
    };
    Base base = Base::kNone;
    Fallback fallback = Fallback::kNone;
    std::string trustedFrom;  // the time of the journal's record the base was taken from
    std::string distrust;     // why a base from the journal was not used ("" when it was, or none was offered)
    int readRequests = 0;     // Read File Record requests of the base (and of its check)
    std::size_t readBytes = 0;
    int chunksWritten = 0;    // chunks to write (dry run), or written
    std::size_t bytesWritten = 0;
    int chunksReadBack = 0;   // written chunks read back
    int fullChunks = 0;       // the chunks a whole image takes
    std::optional<VerifyReport> readBack;  // the read-back of the chunks written
    std::string baseSha256;   // the image laid against
    std::string imageSha256;  // the image the device holds afterwards
    std::size_t imageLength = 0;
    int imageRecords = 0;
    double roundTripMs = 0;   // measured: per request of the base read, or the connect
    bool onlyChanges = true;  // false: a dry run of a whole image's write (no delta asked for)
    int readBackRequests = 0;    // a dry run: the reads the read-back of the write would take
    double estimateSeconds = 0;  // a dry run: the write (and its read-back) at roundTripMs

    // How the image was written, as the journal and the JSON name it:
    // "full", "delta", "delta-trusted", or "delta-full" (a delta that sent
    // the whole image after all).
    const char* ModeName() const;
};

// The facts of one device (the judgement is DeviceReport's).
struct TargetResult {
    FleetTarget target;
    bool started = true;  // false: never started (a staged fleet stopped first)
    bool canaryFailed = false;  // not started: because a canary failed (else too many failed)
    int failuresBefore = 0;     // not started: the devices that had failed
    std::chrono::system_clock::time_point startTime{};  // when its connect began
    std::chrono::system_clock::time_point endTime{};    // when it ended
    bool connected = false;
    // Over TLS: why the connection failed (kNone: it did not), and how it went.
    tls::Failure tlsFailure = tls::Failure::kNone;
    std::string tlsDetail;
    std::string tlsVersion;
    std::string tlsSubject;
    std::string tlsFingerprint;  // SHA-256 of the device's certificate, hex
    bool current = false;  // it already held the image (skip-current): nothing was sent
    std::optional<VerifyReport> precheck;  // the read-back before sending (skip-current)
    bool downloaded = false;               // the download ran (download tells how it went)
    DownloadReport download;
    std::optional<VerifyReport> verify;
    // The image read out before writing (a backup), or the image a pull read
    // out; the image's bytes themselves are not kept here.
    std::optional<PullReport> pull;
    std::string backupFile;       // where the backup was kept; empty for none
    bool backupIsMemory = false;  // the backup is the whole memory, which held no sound image
    bool backupNotKept = false;   // read out, but its file could not be written: not written
    std::string backupError;      // backupNotKept: the file tried and the system's reason
    double seconds = 0;  // from the connect to the last reply
    std::optional<DeltaFacts> delta;  // only what changed was to be written
    bool dryRun = false;              // nothing was written: only said what would be
    std::vector<UnitScan> scan;       // a scan: each unit asked, in the order asked
};

// How one device ended, most telling first.
enum class DeviceOutcome {
    kOk,              // every chunk echoed (and, when read back, the image held)
    kCurrent,         // it already held the image: nothing was sent
    kNoConnection,    // it could not be connected
    kStopped,         // a stop asked for ended it before all was done
    kConnectionLost,  // the connection broke for good
    kChunksFailed,    // chunks without their echo
    kDifferent,       // read back, it holds other bytes
    kUnreadable,      // it could not be read back (with a backup asked for: it was not written)
    kNoImage,         // (pull) it holds no sound image
    kBackupNotKept,   // its image was read out but could not be kept: it was not written
    kPartial,         // all went well, but the image lacks files that were to be in it
    kNotStarted,      // (fleet) never started: a canary failed, or too many devices did
};

// One device of a job: the facts and their judgement.
struct DeviceReport {
    JobKind kind = JobKind::kSend;  // what the job did with it
    TargetResult facts;
    std::size_t filesLeftOut = 0;  // files to be in the image that are not
    bool stopped = false;          // a stop asked for ended it before all was done

    // The one judgement of a device.
    DeviceOutcome Outcome() const;
    // True for kOk and kCurrent: the device holds the whole site it was to.
    bool Succeeded() const;
    // True when its connection broke for good (a download, a read-back, a
    // reconnect that gave up): whoever holds it must close it.
    bool ConnectionLost() const;
};

}  // namespace kelvarin
