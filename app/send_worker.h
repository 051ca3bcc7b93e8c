// CSendWorker: the Send command's work, run on a thread of its own so the
// window keeps painting. It reports only through signals.
#pragma once

#include "link_timeouts.h"
#include "packer.h"
#include "settings.h"

#include <QObject>
#include <QString>

namespace kelvarin {

class CSocketLink;

// Lives on a worker thread. Send packs and downloads over the window's link,
// which the window leaves alone until finished arrives. Every signal is
// queued to the window's thread, in the order the work produced it.
class CSendWorker : public QObject {
    Q_OBJECT

  public:
    // link must outlive the worker.
    explicit CSendWorker(CSocketLink& link);

  public slots:
    // Packs request, dumps the image to the default dump file and downloads
    // it as options say (by default: the default time-outs, one request of
    // 128 bytes in flight, no retries); then reads it back when they ask and
    // the download succeeded. A trace file that cannot be written is said in
    // the log and the Send goes on without it.
    void Send(const kelvarin::PackRequest& request, const kelvarin::SendOptions& options);

  signals:
    // A log line, in the catalog's language.
    void logLine(const QString& line);
    // The progress bar's range and position, in image bytes.
    void progressRange(int low, int high);
    void progressPosition(int position);
    // The Send ended; connectionLost says the link broke and must be closed.
    void finished(bool connectionLost);

  private:
    CSocketLink& m_link;
};

}  // namespace kelvarin

Q_DECLARE_METATYPE(kelvarin::PackRequest)
Q_DECLARE_METATYPE(kelvarin::SendOptions)
