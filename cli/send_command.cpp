// kelvarin-cli send: connect, pack (or read an image), dump and download, as
// the window's Send does.
#include "catalog.h"
#include "commands.h"
#include "files.h"
#include "image_reader.h"
#include "send_job.h"
#include "send_log.h"
#include "socket_link.h"
#include "terminal.h"

#include <iostream>
#include <optional>

namespace kelvarin::cli {

namespace {

// An image file much larger than the image memory is not read at all.
constexpr std::uint64_t kLargestImageFile = 16u << 20;

// The bytes of the image file at path when they can be sent: readable, no
// larger than the image memory, of even length and a sound chain of records.
// Says on stderr what is wrong otherwise.
std::optional<std::string> LoadImage(const std::string& path) {
    bool tooLarge = false;
    std::optional<std::string> bytes = ReadRegularFile(path, kLargestImageFile, &tooLarge);
    if (!bytes) {
        std::cerr << "kelvarin-cli: cannot read image " << path
                  << (tooLarge ? ": far too large to be an image" : "") << '\n';
        return std::nullopt;
    }
    if (bytes->size() > kImageCapacity) {
        std::cerr << "kelvarin-cli: " << path << " is " << bytes->size() << " bytes, more than the "
                  << kImageCapacity << " bytes of the image memory\n";
        return std::nullopt;
    }
    if (bytes->size() % 2 != 0) {
        std::cerr << "kelvarin-cli: " << path << " is " << bytes->size()
                  << " bytes, an odd length: records are written as 16-bit words\n";
        return std::nullopt;
    }
    const ImageWalk walk = ReadImage(*bytes);
    if (!walk.ok) {
        std::cerr << "kelvarin-cli: " << path << ": broken image at " << walk.error.Message()
                  << '\n';
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

int RunSend(const SendArguments& arguments) {
    // Everything that can be refused is refused before connecting.
    std::optional<std::string> image;
    std::optional<SourceFiles> files;
    if (!arguments.image.empty()) {
        image = LoadImage(arguments.image);
        if (!image) {
            return kExitUsage;
        }
    } else {
        files = ReadSource(arguments.source);
        if (!files) {
            return kExitUsage;
        }
    }

    const MessageCatalog catalog;
    TerminalReporter reporter;
    const LinkTimeouts timeouts;
    CSocketLink link;
    if (!link.Open(0, false, timeouts) || !link.Connect(arguments.address, arguments.port)) {
        reporter.AppendLine(catalog.ConnectFailed(arguments.address, arguments.port));
        return kExitNoConnection;
    }
    reporter.AppendLine(catalog.Connected(arguments.address, arguments.port));

    const DumpTarget dump =
        arguments.dumpPath.empty() ? DefaultDumpTarget() : DumpTarget{arguments.dumpPath};
    SendLog log(catalog, reporter, reporter);
    SendReport report;
    if (image) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(image->data());
        report = SendImage({bytes, image->size()}, link, timeouts, dump, log);
    } else {
        report = SendFiles(files->request, link, timeouts, dump, log);
    }
    reporter.Finish();
    link.Close();
    return (report.Succeeded() && !(files && files->dropped)) ? kExitOk : kExitFailed;
}

}  // namespace kelvarin::cli
