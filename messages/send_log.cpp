// A Send's steps as log lines.
#include "send_log.h"

namespace kelvarin {

SendLog::SendLog(const MessageCatalog& catalog, LogSink& log, ProgressSink& progress)
    : m_catalog(catalog), m_log(log), m_progress(progress) {}

void SendLog::OnPacked(const PackResult& result) {
    for (const std::string& line : m_catalog.PackLines(result)) {
        m_log.AppendLine(line);
    }
}

void SendLog::OnNothingSent(const PackResult& result) {
    m_log.AppendLine(m_catalog.NothingSentLine(result));
}

void SendLog::OnSendStart(std::size_t imageLength) {
    m_progress.SetRange(0, static_cast<std::uint32_t>(imageLength));
    m_log.AppendLine(m_catalog.Text(MessageId::kSendStart));
}

void SendLog::OnDumpFailed(const std::string& path) {
    m_log.AppendLine(m_catalog.Text(MessageId::kDumpFailed, {path}));
}

void SendLog::OnChunk(const ChunkOutcome& outcome) {
    const std::string line = m_catalog.ChunkLine(outcome);
    if (!line.empty()) {
        m_log.AppendLine(line);
    }
    // The chunk on which the connection was lost does not move the bar.
    if (outcome.result != Outcome::kConnectionLost) {
        m_progress.SetPosition(static_cast<std::uint32_t>(outcome.progress));
    }
}

void SendLog::OnRetry(const ChunkOutcome* chunk, std::size_t readOffset, Outcome why, int retry) {
    m_log.AppendLine(m_catalog.RetryLine(chunk, readOffset, why, retry));
}

void SendLog::OnReconnecting(int attempt) {
    m_log.AppendLine(m_catalog.Text(MessageId::kReconnecting, {std::to_string(attempt)}));
}

void SendLog::OnReconnected() {
    m_log.AppendLine(m_catalog.Text(MessageId::kReconnected));
}

void SendLog::OnWindowFallback(Outcome why) {
    m_log.AppendLine(m_catalog.Text(MessageId::kWindowFallback, {m_catalog.TryFailure(why)}));
}

void SendLog::OnSendEnd(const DownloadReport& report) {
    for (const std::string& line : m_catalog.EndLines(report)) {
        m_log.AppendLine(line);
    }
}

void SendLog::OnVerifyStart() {
    m_log.AppendLine(m_catalog.Text(MessageId::kVerifyStart));
}

void SendLog::OnVerified(const VerifyReport& report, bool downloaded) {
    for (const std::string& line : m_catalog.VerifyLines(report, downloaded)) {
        m_log.AppendLine(line);
    }
}

}  // namespace kelvarin
