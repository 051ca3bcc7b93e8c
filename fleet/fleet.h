// Sending one image to a fleet of devices at once.
#pragma once

#include "download.h"
#include "link_timeouts.h"
#include "pull.h"
#include "readback.h"
#include "targets.h"

#include "tls.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <optional>
#include <span>
#include <vector>

namespace kelvarin {

// The most devices sent to at once.
inline constexpr int kMaxFleetJobs = 1024;

class WireTrace;

// How a fleet is sent to.
struct FleetOptions {
    int jobs = 0;         // devices at once; 0 or more than the targets: all, up to kMaxFleetJobs
    bool verify = false;  // read each image back after its download succeeded
    bool skipCurrent = false;  // read each device back first; leave alone those holding the image
    bool backup = false;       // read each device's image out before writing it (FleetObserver::OnBackup)
    std::shared_ptr<tls::Context> tls;  // a client's: every device over TLS; nullptr: plain
    int canary = 0;       // the first this many targets alone first; the rest once every one succeeded
    int maxFailures = 0;  // once this many devices failed, start no further one; 0: no limit
    TransferOptions transfer;  // time-outs, retries, requests in flight, chunk size, per device
    WireTrace* trace = nullptr;  // every frame of every device, each line with its address
};

// What became of one device: the facts (the job layer judges them).
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
};

// Told of each device as it finishes, on the thread that sends.
class FleetObserver {
  public:
    virtual ~FleetObserver() = default;
    // A device's image (or, memory true, its whole memory, which holds no
    // sound image) was read out before writing it (backup): keeps it and
    // returns where, or an empty text with the file and the reason in *error
    // when it could not be kept (the device is then not written).
    virtual std::string OnBackup(const TargetResult& /*result*/,
                                 std::span<const std::uint8_t> /*bytes*/, bool /*memory*/,
                                 std::string* /*error*/) {
        return {};
    }
    // A device is about to be connected to: nothing has gone to it yet.
    virtual void OnTargetStart(const TargetResult& /*result*/) {}
    // A device ended (or, result.started false, was never started): returns
    // whether it succeeded, as the caller judges devices, for the canary
    // group and the failure limit.
    virtual bool OnTargetDone(const TargetResult& result) = 0;
};

// Downloads image to every target, at most options.jobs at once, each over a
// connection of its own with its own time-outs, so a slow, silent, chatty or
// dead device holds up no other: one thread waits on every connection, each
// device's read-backs and download a transfer of its own, driven as
// DownloadImage and VerifyImage drive theirs, its deadlines checked on every
// turn. Every device reads the one image given; each keeps only its own
// connection's state. With options' canary, the first targets go alone
// first and the rest start only once each of them succeeded; with
// maxFailures, no target starts once that many failed. Targets never started
// are told (started false) once every other ended. Returns the results in
// the order of targets.
std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer);

}  // namespace kelvarin
