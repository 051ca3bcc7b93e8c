// kelvarin-cli send and verify: connect, then download the image as the
// window's Send does, or only read it back and compare.
#include "catalog.h"
#include "commands.h"
#include "send_job.h"
#include "send_log.h"
#include "socket_link.h"
#include "terminal.h"

namespace kelvarin::cli {

namespace {

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

}  // namespace

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
    if (files && OverwritesInput("--dump", dump.path, files->request.files)) {
        return kExitUsage;
    }

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
    const LinkTimeouts timeouts;
    CSocketLink link;
    if (!ConnectLogged(link, arguments.address, arguments.port, timeouts, catalog, reporter)) {
        return kExitNoConnection;
    }
    SendLog log(catalog, reporter, reporter);
    SendReport report;
    if (packed) {
        log.OnPacked(*packed);
        report = SendImage(packed->image, link, timeouts, dump, log, arguments.verify);
    } else if (image) {
        report = SendImage(image->bytes, link, timeouts, dump, log, arguments.verify);
    } else {
        report = SendFiles(files->request, link, timeouts, dump, log, arguments.verify);
    }
    reporter.Finish();
    link.Close();
    if (!report.download.Succeeded() || report.skipped > 0 ||
        (files && !files->request.leftOut.empty())) {
        return kExitFailed;
    }
    return report.verify ? ExitCodeOf(*report.verify) : kExitOk;
}

int RunVerify(const std::string& address, int port, const ImageSource& source) {
    const std::optional<PreparedImage> image = PrepareImage(source);
    if (!image) {
        return kExitUsage;
    }
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
    if (image->pack && source.files.allOrNothing && !image->Complete()) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            reporter.AppendLine(line);
        }
        reporter.AppendLine(catalog.NothingSentLine(*image->pack));
        return kExitFailed;
    }
    const LinkTimeouts timeouts;
    CSocketLink link;
    if (!ConnectLogged(link, address, port, timeouts, catalog, reporter)) {
        return kExitNoConnection;
    }
    if (image->pack) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            reporter.AppendLine(line);
        }
    }
    reporter.AppendLine(catalog.Text(MessageId::kVerifyStart));
    const VerifyReport report = VerifyImage(image->bytes, link, timeouts);
    for (const std::string& line : catalog.VerifyLines(report, false)) {
        reporter.AppendLine(line);
    }
    link.Close();
    // A site with files left out is no success, whatever the device holds,
    // as for send.
    if (!image->Complete()) {
        reporter.AppendLine(
            catalog.Text(MessageId::kVerifyPartial, {std::to_string(image->leftOut.size())}));
        return report.outcome == VerifyOutcome::kUnreadable ? kExitUnreadable : kExitFailed;
    }
    return ExitCodeOf(report);
}

}  // namespace kelvarin::cli
