// SendLog: a Send told as log lines and a progress bar.
#pragma once

#include "catalog.h"
#include "log_sink.h"
#include "progress_sink.h"
#include "send_job.h"

namespace kelvarin {

// Turns each step of a Send into the log lines of the catalog's language and
// moves the progress bar: its range is set to the image length when sending
// starts, its position follows the bytes of the chunks settled.
class SendLog : public SendObserver {
  public:
    // catalog, log and progress must outlive the object.
    SendLog(const MessageCatalog& catalog, LogSink& log, ProgressSink& progress);

    void OnPacked(const PackResult& result) override;
    void OnNothingSent(const PackResult& result) override;
    void OnSendStart(std::size_t imageLength) override;
    void OnDumpFailed(const std::string& path) override;
    void OnChunk(const ChunkOutcome& outcome) override;
    void OnSendEnd(const DownloadReport& report) override;
    void OnVerifyStart() override;
    void OnVerified(const VerifyReport& report, bool downloaded) override;
    void OnRetry(const ChunkOutcome* chunk, std::size_t readOffset, Outcome why,
                 int retry) override;
    void OnReconnecting(int attempt) override;
    void OnReconnected() override;
    void OnWindowFallback(Outcome why) override;

  private:
    const MessageCatalog& m_catalog;
    LogSink& m_log;
    ProgressSink& m_progress;
};

}  // namespace kelvarin
