// What a job keeps in the journal: a record before the first byte goes to a
// device, and one when its operation ends.
#pragma once

#include "job.h"
#include "job_report.h"
#include "journal.h"
#include "image_store.h"
#include "journal_writer.h"
#include "device_operation.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kelvarin {

class JobObserver;

// What the journal at journalPath and store say target holds: the image of
// the newest operation that wrote it, when that ended with every chunk
// echoed, no operation on it is unfinished since, and store still holds the
// image whole. Nothing otherwise, with why in *why.
std::optional<TrustedBase> TrustedBaseFor(const std::string& journalPath, const ImageStore& store,
                                          const FleetTarget& target, std::string* why);

// The journal's records of one job's devices, appended by a writer of their
// own so that no wait of the database holds up a device. A journal that
// cannot be opened or written never stops the job: the observer is told
// once, the job goes on, and at its end it is told how many records were
// lost.
class JobJournal {
  public:
    // Opens the journal plan names (nothing with plan.journal.off, or for a
    // job that touches no device); observer hears of a failure or of a
    // journal past its size.
    JobJournal(const JobPlan& plan, JobObserver& observer);
    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    // The image the job sends or compares (its hash, length and records go
    // into every record).
    void SetImage(std::span<const std::uint8_t> image);

    // The operation on target begins: before anything goes to it. Returns
    // the operation's id, which its end record names.
    std::string Begin(const FleetTarget& target, JobKind kind);

    // A scan begins (one operation for all its addresses): its ranges, port
    // and units. Returns its id.
    std::string BeginScan(const JobPlan& plan);
    // The scan id began with ends: the devices that answered, each with its
    // identity and the image it holds.
    void EndScan(const std::string& id, const JobPlan& plan, const JobReport& report);

    // The operation id began with ends as device says.
    void End(const std::string& id, const DeviceReport& device,
             const std::vector<std::string>& filesLeftOut);

    // Waits at most bound until the records so far are written: a single
    // device's first record is in the journal before anything goes to it,
    // unless the journal is locked for longer.
    void WaitWritten(std::chrono::milliseconds bound);

    // Gives the writer a bounded time to write what is left, then tells the
    // observer how many records were lost, if any. Done once.
    void Finish();

    // The file the journal is in (empty when off).
    const std::string& Path() const { return m_path; }

  private:
    // A record's first members: when, which phase of which operation, who.
    std::string Head(const std::string& phase, const std::string& id, JobKind kind) const;
    // Head, then the device, the image and the options.
    std::string Common(const std::string& phase, const std::string& id, const FleetTarget& target,
                       JobKind kind, const std::string* image = nullptr) const;
    // A new operation's id.
    std::string NewId();
    void Write(const std::string& record);

    const JobPlan& m_plan;
    JobObserver& m_observer;
    // Tells the observer of the writer's first failure, once.
    void SayFailure();

    std::unique_ptr<JournalWriter> m_writer;
    std::string m_path;
    bool m_failed = false;
    std::string m_image;  // the "image" member's value: an object, or null
    int m_counter = 0;
};

}  // namespace kelvarin
