// Pack, dump, download, read back: the order every front end sends in.
#include "send_job.h"

#include "files.h"

#include <string_view>

namespace kelvarin {

SendReport SendImage(std::span<const std::uint8_t> image, CDeviceLink& link,
                     const SendSettings& settings, const DumpTarget& dump,
                     SendObserver& observer) {
    SendReport report;
    observer.OnSendStart(image.size());
    if (!dump.path.empty()) {
        const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
        report.dumpWritten = dump.usable && WriteWholeFile(dump.path, bytes);
        if (!report.dumpWritten) {
            observer.OnDumpFailed(dump.path);
        }
    }
    report.download =
        DownloadImage(image, link, settings.transfer, observer, settings.trace, settings.stop);
    observer.OnSendEnd(report.download);
    // A failed download is not read back: its outcome is already known.
    if (settings.verify && report.download.Succeeded() &&
        !(settings.stop && settings.stop->load())) {
        observer.OnVerifyStart();
        report.verify = VerifyImage(image, link, settings.transfer, &observer, settings.trace,
                                    settings.stop);
        observer.OnVerified(*report.verify, true);
    }
    return report;
}

SendReport SendFiles(const PackRequest& request, CDeviceLink& link, const SendSettings& settings,
                     const DumpTarget& dump, SendObserver& observer) {
    const PackResult packed = PackImage(request);
    observer.OnPacked(packed);
    if (request.allOrNothing && !packed.Complete()) {
        observer.OnNothingSent(packed);
        SendReport refused;
        refused.packed = packed.Packed();
        refused.skipped = packed.Skipped();
        refused.nothingSent = true;
        return refused;
    }
    SendReport report = SendImage(packed.image, link, settings, dump, observer);
    report.packed = packed.Packed();
    report.skipped = packed.Skipped();
    return report;
}

}  // namespace kelvarin
