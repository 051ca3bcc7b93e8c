// JobLog: a job told as log lines and a progress bar.
#pragma once

#include "catalog.h"
#include "job_run.h"
#include "log_sink.h"
#include "progress_sink.h"

namespace kelvarin {

// Turns each step of a job into the log lines of the catalog's language and
// moves the progress bar: its range is set to the image length when sending
// starts, its position follows the bytes of the chunks settled. Front ends
// that put some lines elsewhere (a refusal on stderr) override those steps.
class JobLog : public JobObserver {
  public:
    // catalog, log and progress must outlive the object; names are the
    // front end's words for what a refusal names.
    JobLog(const MessageCatalog& catalog, LogSink& log, ProgressSink& progress, FieldNames names);

    void OnSiteSkipped(const SkippedEntry& entry) override;
    void OnRefused(const PlanProblem& problem, const PackResult* packed) override;
    void OnTraceFailed(const std::string& path) override;
    void OnConnected(const FleetTarget& target, bool ok, const TargetResult& facts) override;
    void OnTlsKeyReadable(const std::string& path) override;
    void OnTlsAnyName() override;
    void OnTlsInUse() override;
    void OnTlsRefused(const FleetTarget& target, const TargetResult& facts) override;
    void OnPacked(const PackResult& result) override;
    void OnSendStart(std::size_t imageLength) override;
    void OnDumpFailed(const std::string& path) override;
    void OnChunk(const ChunkOutcome& outcome) override;
    void OnSendEnd(const DownloadReport& report) override;
    void OnVerifyStart() override;
    void OnVerified(const VerifyReport& report, bool downloaded) override;
    void OnVerifyPartial(std::size_t filesLeftOut) override;
    void OnReadOutStart(bool backup) override;
    void OnReadOut(const PullReport& report, const std::string& file, const std::string& error,
                   bool backup) override;
    void OnStopped(const DeviceReport& device) override;
    void OnJournalFailed(const std::string& path, const std::string& why) override;
    void OnJournalLarge(const std::string& path, std::uint64_t bytes,
                        std::uint64_t warnBytes) override;
    void OnJournalLost(const std::string& path, std::size_t records,
                       const std::string& why) override;
    void OnDeviceDone(const DeviceReport& device) override;
    void OnDeltaStart(const DeltaFacts& delta, bool checking) override;
    void OnDeltaPlan(const DeltaFacts& delta) override;
    void OnDeltaDone(const DeltaFacts& delta) override;
    void OnDryRun(const DeltaFacts& plan) override;
    void OnRetry(const RequestSpan& request, Result why, int retry, int pauseMs) override;
    void OnReconnecting(int attempt, int pauseMs) override;
    void OnReconnected() override;
    void OnWindowFallback(Outcome why) override;

  protected:
    const MessageCatalog& Catalog() const { return m_catalog; }
    LogSink& Log() { return m_log; }
    const FieldNames& Names() const { return m_names; }

  private:
    const MessageCatalog& m_catalog;
    LogSink& m_log;
    ProgressSink& m_progress;
    FieldNames m_names;
    bool m_tls = false;          // the device was reached over TLS
    bool m_roleRefused = false;  // its refusal of a write for the role is told
};

}  // namespace kelvarin
