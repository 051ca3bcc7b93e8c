// One device's operation as a step machine with no I/O of its own, in the
// style of Transfer: connect, read first (skip-current), read out and have
// kept (backup, or refuse to write), download, read back, or read out (pull).
// It says what its driver is to do next and judges the device from the
// results. The blocking driver (send, verify, pull, the window: job/) and the
// fleet's poll loop (fleet/) both step it, so no rule of the sequence is
// written twice.
#pragma once

#include "delta_layout.h"
#include "device_report.h"
#include "download.h"
#include "identify.h"
#include "pull.h"
#include "readback.h"
#include "transfer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

class WireTrace;

// The image Kelvarin's own records say a device holds.
struct TrustedBase {
    std::vector<std::uint8_t> image;
    std::string time;  // when the journal recorded the write that left it there
};

// What one device's operation is to do.
struct OperationPlan {
    JobKind kind = JobKind::kSend;  // kSend, kFleet: write; kVerify: compare; kPull: read out
    std::span<const std::uint8_t> image;  // to write or compare; must outlive the operation
    TransferOptions transfer;  // time-outs, retries, requests in flight, this device's unit
    bool verify = false;       // read the image back after a download that succeeded
    bool skipCurrent = false;  // read the device first; leave it alone when it holds the image
    // Read what the device holds out first and have it kept (its image, or
    // its whole memory when that holds no sound image but is not blank); a
    // device that cannot be read out, or whose bytes cannot be kept, is not
    // written.
    bool backup = false;
    bool dump = false;       // have the image kept as the dump just before it is downloaded
    bool connected = false;  // the connection is made already (the window's): said nothing of
    std::size_t filesLeftOut = 0;  // files to be in the image that are not
    // Write only what differs from what the device holds: read it (or take
    // trusted, checked by sampling), lay fresh's records out against it,
    // write the chunks that differ and read them back. fresh is what image
    // was packed from (its records); both must outlive the operation.
    bool delta = false;
    const PackResult* fresh = nullptr;
    const TrustedBase* trusted = nullptr;
    std::string distrust;  // why no trusted base is given, when one was asked for
    std::vector<int> units;  // a scan: the units to ask, in order
    // Connect and read as the mode needs, then say what would be written;
    // write nothing.
    bool dryRun = false;
    // Have the image kept (KeepRequest::kStore) once every chunk of a write
    // was echoed: Kelvarin's own record of what the device holds.
    bool store = false;
    WireTrace* trace = nullptr;    // every frame; nullptr: none
    std::string label;             // the trace's mark for this device (a fleet's)
};

// Bytes the driver is asked to keep before the operation goes on.
struct KeepRequest {
    enum class What {
        kBackup,  // what the device held, before it is written
        kPulled,  // the image a pull read out
        kDump,    // the image about to be downloaded
        kStore,   // the image the device holds now, every chunk of it echoed
    };
    What what = What::kDump;
    std::span<const std::uint8_t> bytes;
    bool memory = false;  // kBackup: the whole memory, which holds no sound image
};

// Told of each stage of one device as it happens, beside its transfers'
// events (a single device's log; nobody in a fleet).
class OperationObserver : public DownloadObserver {
  public:
    void OnChunk(const ChunkOutcome& /*outcome*/) override {}
    // ok: connected (over TLS: facts says its version and the device
    // certificate's subject); else facts says why, for TLS. Not told of a
    // connection made already, nor of a connect given up on request.
    virtual void OnConnected(const FleetTarget& /*target*/, bool /*ok*/,
                             const TargetResult& /*facts*/) {}
    // The device is reached over TLS (told before anything is sent to it).
    virtual void OnTlsInUse() {}
    // The device refused this client's certificate after the handshake
    // (facts says why): nothing it was sent was taken.
    virtual void OnTlsRefused(const FleetTarget& /*target*/, const TargetResult& /*facts*/) {}
    // backup: read out before writing (else a pull).
    virtual void OnReadOutStart(bool /*backup*/) {}
    // What was read out, and where it was kept: file (error empty), or why
    // it could not be (error, the file named in it).
    virtual void OnReadOut(const PullReport& /*report*/, const std::string& /*file*/,
                           const std::string& /*error*/, bool /*backup*/) {}
    virtual void OnSendStart(std::size_t /*imageLength*/) {}
    virtual void OnSendEnd(const DownloadReport& /*report*/) {}
    virtual void OnVerifyStart() {}
    // downloaded: the image was downloaded just before (not only compared).
    virtual void OnVerified(const VerifyReport& /*report*/, bool /*downloaded*/) {}
    // A compare alone of an image that lacks files.
    virtual void OnVerifyPartial(std::size_t /*filesLeftOut*/) {}
    // A stop asked for ended it: what the device holds now.
    virtual void OnStopped(const DeviceReport& /*device*/) {}
    // Writing only what changed: the base from the journal is being
    // checked (checking), or what the device holds is read (delta says why
    // the journal's was not used, when it was asked for).
    virtual void OnDeltaStart(const DeltaFacts& /*delta*/, bool /*checking*/) {}
    // What is to be written, against what (or why the whole image is).
    virtual void OnDeltaPlan(const DeltaFacts& /*delta*/) {}
    // What was written and read back.
    virtual void OnDeltaDone(const DeltaFacts& /*delta*/) {}
    // A dry run: what would be written, and how long it would take.
    virtual void OnDryRun(const DeltaFacts& /*plan*/) {}
};

// One device's operation.
class DeviceOperation {
  public:
    // What the driver does next.
    enum class Step {
        kConnect,   // connect (or, plan.connected, only say so): then Connected
        kTransfer,  // drive Running() until it is done, then ask Next again
        kKeep,      // keep ToKeep()'s bytes: then Kept
        kDone,      // Report() is the device's end
    };

    // connection is the device's, read only for its facts (TLS, a refusal
    // after the handshake) and its transaction ids; plan (its image),
    // connection and observer must outlive the operation.
    DeviceOperation(const OperationPlan& plan, const FleetTarget& target, TransferIo& connection,
                    OperationObserver& observer);
    ~DeviceOperation();
    DeviceOperation(const DeviceOperation&) = delete;
    DeviceOperation& operator=(const DeviceOperation&) = delete;

    // What to do now; a transfer handed out before is done.
    Step Next(TimePoint now);
    // kTransfer: the transfer to drive.
    Transfer& Running() { return *m_running; }
    // kKeep: what to keep.
    const KeepRequest& ToKeep() const { return m_keep; }

    // The connect (after kConnect) succeeded or failed.
    void Connected(bool ok);
    // The bytes of kKeep were kept in the file where (error empty), or could
    // not be (error says why; where the file tried, when it is known); the
    // operation goes on at the next Next.
    void Kept(const std::string& where, const std::string& error);

    // A stop asked for: the running transfer sends nothing more, nothing
    // new is begun, and the device ends as stopped.
    void Stop();

    // The device's facts and judgement so far; whole once Next gave kDone.
    const DeviceReport& Report() const { return m_report; }

  private:
    enum class Stage {
        kStart, kConnect, kWork, kPrecheck, kBackup, kKeepBackup, kDump, kDownload,
        kReadBack, kPull, kKeepPulled, kTrustCheck, kBase, kDeltaWrite, kDeltaReadBack, kStore,
        kIdentify, kScanImage, kEnd, kDone,
    };

    Step Work();
    Step StartPrecheck();
    Step EndPrecheck();
    Step StartBackup();
    Step NextBackupRound();
    Step EndBackup(const std::string& where, const std::string& error);
    Step StartDownload();
    Step BeginDownload();
    Step EndDownload();
    Step AfterDownload();
    Step StartReadBack(bool afterSend);
    Step EndReadBack();
    Step StartPull();
    Step NextPullRound();
    Step EndPull(const std::string& where, const std::string& error);
    Step StartDelta();
    Step EndTrustCheck();
    Step StartBaseRead();
    Step NextBaseRound();
    Step LayOut();
    Step AfterDeltaWrite();
    Step EndDeltaReadBack();
    Step StartScanUnit();
    Step NextIdentifyRound();
    Step NextScanImageRound();
    // The memory ranges a write of m_image sends: its differing chunks, or
    // all of it.
    std::vector<ReadPlan::Range> WrittenRanges() const;
    Step Transferring(Stage stage, Transfer& transfer, bool traced);
    // The pull's next round as a transfer of stage; nothing once it is over
    // (its report then in m_read).
    std::optional<Step> PullRound(Stage stage);
    Step Keeping(Stage stage, KeepRequest request);
    Step Finish();

    const OperationPlan& m_plan;
    TransferIo& m_connection;
    OperationObserver& m_observer;
    DeviceReport m_report;
    Stage m_stage = Stage::kStart;
    bool m_stopAsked = false;
    bool m_afterSend = false;  // the read-back follows a download
    TimePoint m_start{};
    TimePoint m_now{};
    Transfer* m_running = nullptr;
    KeepRequest m_keep;
    std::string m_keptWhere;  // what Kept said of the bytes last asked to be kept
    std::string m_keptError;
    std::unique_ptr<ImageReadBack> m_readBack;
    std::unique_ptr<ImagePull> m_pull;
    std::unique_ptr<ChunkedDownload> m_download;
    std::unique_ptr<DeviceIdentify> m_identify;
    std::size_t m_scanUnit = 0;      // a scan: the unit being asked (an index into plan.units)
    TransferOptions m_unitOptions;   // a scan: the options for that unit
    PullReport m_read;  // the backup's or the pull's, while its bytes are kept
    // The image the device is to hold: the plan's, or the one laid out
    // against what it holds.
    std::span<const std::uint8_t> m_image;
    std::vector<std::uint8_t> m_laidOut;
    std::vector<std::uint8_t> m_base;         // what the device holds, for a delta
    std::optional<std::vector<std::size_t>> m_chunks;  // the chunks to write; none: all
    bool m_baseAfterBackup = false;  // a delta's base was kept as the backup: lay out next
    TimePoint m_readStart{};
};

}  // namespace kelvarin
