// CSendWorker: the window's Connect and Send, run on a thread of their own
// so the window keeps painting and can ask them to stop. It reports only
// through signals.
#pragma once

#include "catalog.h"
#include "job.h"
#include "link_timeouts.h"
#include "tls.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

namespace kelvarin {

class CSocketLink;

// The window's words for what a refusal is about (its labels), in catalog's
// language; catalog must outlive what is returned.
FieldNames WindowFieldNames(const MessageCatalog& catalog);

// Lives on a worker thread. Connect and Send use the window's link, which
// the window leaves alone until connectFinished or finished arrives. Every
// signal is queued to the window's thread, in the order the work produced
// it.
class CSendWorker : public QObject {
    Q_OBJECT

  public:
    // link and stop must outlive the worker; stop set asks the running
    // Connect or Send to end (a Send after the replies in flight).
    CSendWorker(CSocketLink& link, const std::atomic<bool>& stop);

  public slots:
    // Connects the link to address and port, waiting at most the connect
    // time-out of timeouts, or until a stop is asked.
    // Over TLS with tls when given.
    void Connect(const QString& address, int port, const kelvarin::LinkTimeouts& timeouts,
                 const std::shared_ptr<kelvarin::tls::Context>& tls);

    // Runs plan (a Send) over the connected link: packs, dumps, downloads
    // and reads back as the plan says, every step a log line.
    void Send(const kelvarin::JobPlan& plan);

  signals:
    // A log line, in the catalog's language.
    void logLine(const QString& line);
    // The progress bar's range and position, in image bytes.
    void progressRange(int low, int high);
    void progressPosition(int position);
    // The connect ended: connected, or not (cancelled: on request).
    void connectFinished(bool connected, bool cancelled);
    // The Send ended; connectionLost says the link broke and must be closed.
    void finished(bool connectionLost);

  private:
    CSocketLink& m_link;
    const std::atomic<bool>& m_stop;
};

}  // namespace kelvarin

Q_DECLARE_METATYPE(kelvarin::JobPlan)
Q_DECLARE_METATYPE(kelvarin::LinkTimeouts)
Q_DECLARE_METATYPE(std::shared_ptr<kelvarin::tls::Context>)
