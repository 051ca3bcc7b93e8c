// kelvarin-cli send and verify: connect, then download the image as the
// window's Send does, or only read it back and compare.
#include "catalog.h"
#include "commands.h"
#include "send_job.h"
#include "send_log.h"
#include "socket_link.h"
#include "terminal.h"
#include "wire_trace.h"

#include <atomic>
#include <csignal>
#include <iostream>

namespace kelvarin::cli {

namespace {

// Set by Ctrl+C. The first one asks the transfer to stop after the requests
// in flight; the handler then steps aside, so a second one ends the program
// at once.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) {
    g_stop.store(true);
    std::signal(SIGINT, SIG_DFL);
}

// Takes Ctrl+C over for the life of the object.
class InterruptGuard {
  public:
    InterruptGuard() {
        g_stop.store(false);
        m_previous = std::signal(SIGINT, OnInterrupt);
    }
    ~InterruptGuard() { std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous); }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    void (*m_previous)(int) = SIG_DFL;
};

// The exit code of a read-back.
int ExitCodeOf(const VerifyReport& report) {
    switch (report.outcome) {
        case VerifyOutcome::kEqual:
            return kExitOk;
        case VerifyOutcome::kDifferent:
            return kExitFailed;
        case VerifyOutcome::kUnreadable:
            break;
    }
    return kExitUnreadable;
}

// Opens link and connects it, logging the connect line. False when the
// connection could not be made.
bool ConnectLogged(CSocketLink& link, const std::string& address, int port,
                   const LinkTimeouts& timeouts, const MessageCatalog& catalog, LogSink& log) {
    if (!link.Open(0, false, timeouts) || !link.Connect(address, port)) {
        log.AppendLine(catalog.ConnectFailed(address, port));
        return false;
    }
    log.AppendLine(catalog.Connected(address, port));
    return true;
}

// Opens the trace file the arguments name, if any. False, after saying why
// on stderr, when it cannot be written.
bool OpenTrace(const LinkArguments& arguments, WireTrace& trace) {
    if (arguments.tracePath.empty() || trace.Open(arguments.tracePath)) {
        return true;
    }
    const MessageCatalog catalog(LanguageFromEnvironment());
    std::cerr << "kelvarin-cli: "
              << catalog.Text(MessageId::kTraceCannotWrite, {arguments.tracePath}) << '\n';
    return false;
}

}  // namespace

TransferOptions LinkArguments::Transfer() const {
    TransferOptions options;
    options.retries = retries;
    options.autoWindow = window == "auto";
    options.window = options.autoWindow ? 1 : std::stoi(window);
    options.chunkBytes = static_cast<std::size_t>(chunk);
    options.timeouts = LinkTimeouts::All(timeoutMs);
    options.firstReplyMs = firstTimeoutMs;
    return options;
}

int RunSend(const SendArguments& arguments) {
    // Everything that can be refused is refused before connecting; the
    // packer's lines follow the connect line, as in the window.
    std::optional<SourceFiles> files;
    std::optional<PreparedImage> image;
    if (!arguments.source.image.empty()) {
        image = PrepareImage(arguments.source);
        if (!image) {
            return kExitUsage;
        }
    } else {
        files = ReadSource(arguments.source.files);
        if (!files) {
            return kExitUsage;
        }
    }
    const DumpTarget dump =
        arguments.dumpPath.empty() ? DefaultDumpTarget() : DumpTarget{arguments.dumpPath};
    if (files && (OverwritesInput("--dump", dump.path, files->request.files) ||
                  (!arguments.link.tracePath.empty() &&
                   OverwritesInput("--trace", arguments.link.tracePath, files->request.files)))) {
        return kExitUsage;
    }
    WireTrace trace;
    if (!OpenTrace(arguments.link, trace)) {
        return kExitUsage;
    }

    InterruptGuard interrupt;
    const MessageCatalog catalog(LanguageFromEnvironment());
    TerminalReporter reporter;
    // All or nothing: packed before connecting, so that a partial image never
    // reaches the device.
    std::optional<PackResult> packed;
    if (files && arguments.source.files.allOrNothing) {
        packed = PackImage(files->request);
        if (!packed->Complete()) {
            for (const std::string& line : catalog.PackLines(*packed)) {
                reporter.AppendLine(line);
            }
            reporter.AppendLine(catalog.NothingSentLine(*packed));
            return kExitFailed;
        }
    }
    SendSettings settings;
    settings.transfer = arguments.link.Transfer();
    settings.verify = arguments.verify;
    settings.trace = trace.IsOpen() ? &trace : nullptr;
    settings.stop = &g_stop;
    CSocketLink link;
    if (!ConnectLogged(link, arguments.address, arguments.port, settings.transfer.timeouts,
                       catalog, reporter)) {
        return g_stop.load() ? kExitInterrupted : kExitNoConnection;
    }
    SendLog log(catalog, reporter, reporter);
    SendReport report;
    if (packed) {
        log.OnPacked(*packed);
        report = SendImage(packed->image, link, settings, dump, log);
    } else if (image) {
        report = SendImage(image->bytes, link, settings, dump, log);
    } else {
        report = SendFiles(files->request, link, settings, dump, log);
    }
    // Stopped by Ctrl+C before all was done: said plainly, with what the
    // device holds now.
    const DownloadReport& download = report.download;
    const bool verifyStopped = settings.verify && download.Succeeded() &&
                               (!report.verify || report.verify->cancelled);
    const bool interrupted = g_stop.load() && (download.cancelled || verifyStopped);
    if (interrupted && download.cancelled) {
        reporter.AppendLine(catalog.Text(
            download.requestsSent == 0 ? MessageId::kSendInterruptedUnsent
                                       : MessageId::kSendInterrupted,
            {std::to_string(download.echoedPrefix), std::to_string(download.imageLength)}));
    } else if (interrupted) {
        reporter.AppendLine(catalog.Text(MessageId::kVerifyInterrupted));
    }
    reporter.Finish();
    link.Close();
    if (interrupted) {
        return kExitInterrupted;
    }
    if (!report.download.Succeeded() || report.skipped > 0 ||
        (files && !files->request.leftOut.empty())) {
        return kExitFailed;
    }
    return report.verify ? ExitCodeOf(*report.verify) : kExitOk;
}

int RunVerify(const VerifyArguments& arguments) {
    const std::optional<PreparedImage> image = PrepareImage(arguments.source);
    if (!image) {
        return kExitUsage;
    }
    WireTrace trace;
    if (!OpenTrace(arguments.link, trace)) {
        return kExitUsage;
    }
    InterruptGuard interrupt;
    const MessageCatalog catalog(LanguageFromEnvironment());
    TerminalReporter reporter;
    // An image of no files matches any device: there is nothing to compare,
    // and the device is not asked.
    if (image->pack && image->pack->Packed() == 0) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            reporter.AppendLine(line);
        }
        reporter.AppendLine(catalog.Text(MessageId::kVerifyNothing));
        return kExitUsage;
    }
    if (image->pack && arguments.source.files.allOrNothing && !image->Complete()) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            reporter.AppendLine(line);
        }
        reporter.AppendLine(catalog.NothingSentLine(*image->pack));
        return kExitFailed;
    }
    const TransferOptions options = arguments.link.Transfer();
    CSocketLink link;
    if (!ConnectLogged(link, arguments.address, arguments.port, options.timeouts, catalog,
                       reporter)) {
        return g_stop.load() ? kExitInterrupted : kExitNoConnection;
    }
    if (image->pack) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            reporter.AppendLine(line);
        }
    }
    reporter.AppendLine(catalog.Text(MessageId::kVerifyStart));
    SendLog notices(catalog, reporter, reporter);
    const VerifyReport report = VerifyImage(image->bytes, link, options, &notices,
                                            trace.IsOpen() ? &trace : nullptr, &g_stop);
    link.Close();
    if (report.cancelled) {
        reporter.AppendLine(catalog.Text(MessageId::kVerifyInterrupted));
        reporter.Finish();
        return kExitInterrupted;
    }
    for (const std::string& line : catalog.VerifyLines(report, false)) {
        reporter.AppendLine(line);
    }
    // A site with files left out is no success, whatever the device holds,
    // as for send.
    if (!image->Complete()) {
        reporter.AppendLine(
            catalog.Text(MessageId::kVerifyPartial, {std::to_string(image->leftOut.size())}));
        reporter.Finish();
        return report.outcome == VerifyOutcome::kUnreadable ? kExitUnreadable : kExitFailed;
    }
    reporter.Finish();
    return ExitCodeOf(report);
}

}  // namespace kelvarin::cli
