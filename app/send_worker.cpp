// The window's Connect and Send on their worker thread.
#include "send_worker.h"

#include "catalog.h"
#include "job_log.h"
#include "job_run.h"
#include "socket_link.h"

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

FieldNames WindowFieldNames(const MessageCatalog& catalog) {
    return [&catalog](PlanField field) -> std::string {
        switch (field) {
            case PlanField::kDump:
                return catalog.Text(MessageId::kDumpFileName);
            case PlanField::kTrace:
                return catalog.Text(MessageId::kTraceFileName);
            case PlanField::kBackup:
                return catalog.Text(MessageId::kBackupFolderName);
            case PlanField::kJournal:
                return catalog.Text(MessageId::kJournalFileName);
            default:
                break;  // nothing else of the window's job is ever refused by name
        }
        return {};
    };
}

CSendWorker::CSendWorker(CSocketLink& link, const std::atomic<bool>& stop)
    : m_link(link), m_stop(stop) {}

void CSendWorker::Connect(const QString& address, int port, const LinkTimeouts& timeouts,
                          const std::shared_ptr<tls::Context>& tls) {
    const bool connected =
        ConnectDevice(m_link, {address.toStdString(), port}, timeouts, &m_stop, tls);
    emit connectFinished(connected, !connected && m_stop.load());
}

void CSendWorker::Send(const JobPlan& plan) {
    SignalSink sink(*this);
    const MessageCatalog catalog(LanguageFromEnvironment());
    JobLog log(catalog, sink, sink, WindowFieldNames(catalog));
    const JobReport report = RunJob(plan, log, &m_stop, &m_link);
    emit finished(report.ConnectionLost());
}

}  // namespace kelvarin
