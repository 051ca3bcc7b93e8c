// The Send command on its worker thread.
#include "send_worker.h"

#include "catalog.h"
#include "dump_file.h"
#include "send_job.h"
#include "send_log.h"
#include "socket_link.h"
#include "wire_trace.h"

namespace kelvarin {

namespace {

// Log lines and progress of the Send, as the worker's signals.
class SignalSink : public LogSink, public ProgressSink {
  public:
    explicit SignalSink(CSendWorker& worker) : m_worker(worker) {}

    void AppendLine(std::string_view line) override {
        emit m_worker.logLine(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    }
    void SetRange(std::uint32_t low, std::uint32_t high) override {
        emit m_worker.progressRange(static_cast<int>(low), static_cast<int>(high));
    }
    void SetPosition(std::uint32_t position) override {
        emit m_worker.progressPosition(static_cast<int>(position));
    }

  private:
    CSendWorker& m_worker;
};

}  // namespace

CSendWorker::CSendWorker(CSocketLink& link) : m_link(link) {}

void CSendWorker::Send(const PackRequest& request, const SendOptions& options) {
    SignalSink sink(*this);
    const MessageCatalog catalog(LanguageFromEnvironment());
    SendLog log(catalog, sink, sink);
    SendSettings settings;
    settings.verify = options.verifyAfterSend;
    settings.transfer = options.transfer;
    WireTrace trace;
    if (!options.traceFile.empty()) {
        if (trace.Open(options.traceFile)) {
            settings.trace = &trace;
        } else {
            sink.AppendLine(catalog.Text(MessageId::kTraceFailed, {options.traceFile}));
        }
    }
    const SendReport report = SendFiles(request, m_link, settings, DefaultDumpTarget(), log);
    emit finished(report.download.connectionLost);
}

}  // namespace kelvarin
