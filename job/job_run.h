// Running a job: check it, prepare its image, connect, send or compare, and
// tell an observer of every step as data.
#pragma once

#include "device_operation.h"
#include "download.h"
#include "job.h"
#include "pull.h"
#include "job_report.h"
#include "readback.h"
#include "socket_link.h"

#include <atomic>
#include <cstddef>
#include <string>

namespace kelvarin {

// Told of each step of a job, in the order they happen (each device's own
// steps are OperationObserver's):
//   OnSiteSkipped        entries of a site folder that are not its files
//   OnRefused            the job is refused: nothing else follows (after
//                        OnPacked when the refusal comes from the packed image)
//   OnTraceFailed        the trace cannot be written and the job goes on
//   OnConnected          the connect, made or failed (send, verify)
//   OnPacked             the files were packed
//   OnSendStart, OnDumpFailed, OnChunk..., OnSendEnd     a download
//   OnVerifyStart, OnVerified                            a read-back
//   OnVerifyPartial      verify: the image compared lacks files
//   OnReadOutStart, OnReadOut   the device's image read out (pull, backup)
//   OnStopped            a stop request ended it: what the device holds now
//   OnDeviceDone         (fleet) each device, as it finishes
//   OnImageWritten       (pack) the image file was written
// with the download's notices (retries, reconnects, the fall-back) as they
// come.
class JobObserver : public OperationObserver {
  public:
    virtual void OnSiteSkipped(const SkippedEntry& /*entry*/) {}
    virtual void OnRefused(const PlanProblem& /*problem*/, const PackResult* /*packed*/) {}
    virtual void OnTraceFailed(const std::string& /*path*/) {}
    // The TLS files' warnings before connecting: a private key others can
    // read (used all the same), a device certificate's name not checked.
    virtual void OnTlsKeyReadable(const std::string& /*path*/) {}
    virtual void OnTlsAnyName() {}
    virtual void OnPacked(const PackResult& /*result*/) {}
    virtual void OnDumpFailed(const std::string& /*path*/) {}
    virtual void OnDeviceDone(const DeviceReport& /*device*/) {}
    // (scan) each address that accepted a connection, as it is done.
    virtual void OnScanned(const DeviceReport& /*device*/) {}
    // (scan) the targets file of the devices found cannot be written.
    virtual void OnTargetsOutFailed(const std::string& /*path*/, const std::string& /*why*/) {}
    virtual void OnImageWritten(const std::string& /*path*/) {}
    // The journal cannot be opened or written: said once; the job goes on.
    virtual void OnJournalFailed(const std::string& /*path*/, const std::string& /*why*/) {}
    // At the job's end: records that could not be written in the time the
    // journal's writer is given (why: the first reason).
    virtual void OnJournalLost(const std::string& /*path*/, std::size_t /*records*/,
                               const std::string& /*why*/) {}
    // The journal is larger than the size set for a warning (it is never cut).
    virtual void OnJournalLarge(const std::string& /*path*/, std::uint64_t /*bytes*/,
                                std::uint64_t /*warnBytes*/) {}
};

// Connects link (opened anew with timeouts) to target, over TLS with tls
// when given, waiting at most the connect time-out (the handshake included)
// or until *stop turns true. False when it could not be connected (the link
// is then closed; its TLS failure says why).
bool ConnectDevice(CSocketLink& link, const FleetTarget& target, const LinkTimeouts& timeouts,
                   const std::atomic<bool>* stop = nullptr,
                   std::shared_ptr<tls::Context> tls = nullptr);

// The client context a job's TLS plan asks for: nothing for plain
// Modbus/TCP, or when a file cannot be used (*problem then says why).
std::shared_ptr<tls::Context> TlsContextFor(const TlsPlan& plan, PlanProblem* problem);

// Checks plan before anything is opened, connected or written (its folders,
// its targets file, its image file, every output against every input and
// against each other), packs its files, and refuses a packed image that all
// or nothing keeps back or that has nothing to compare; then writes, sends
// or compares as its kind says, telling observer of every step. A send or
// verify connects to plan.targets[0] itself unless connected is given (the
// window's link, connected already). A stop request (*stop true) ends it
// after the requests in flight. The report says what happened.
JobReport RunJob(const JobPlan& plan, JobObserver& observer,
                 const std::atomic<bool>* stop = nullptr, CDeviceLink* connected = nullptr);

}  // namespace kelvarin
