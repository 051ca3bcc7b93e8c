// kelvarin-cli pack: the packer from the command line.
#include "catalog.h"
#include "commands.h"
#include "files.h"

#include <iostream>

namespace kelvarin::cli {

int RunPack(const std::string& output, const PackSource& source) {
    const std::optional<SourceFiles> input = ReadSource(source);
    if (!input || OverwritesInput("-o", output, input->request.files)) {
        return kExitUsage;
    }
    const PackResult result = PackImage(input->request);
    for (const std::string& line : MessageCatalog(LanguageFromEnvironment()).PackLines(result)) {
        std::cout << line << '\n';
    }
    std::cout.flush();

    std::string error;
    const std::string_view bytes(reinterpret_cast<const char*>(result.image.data()),
                                 result.image.size());
    if (!WriteWholeFile(output, bytes, &error)) {
        std::cerr << "kelvarin-cli: cannot write image " << output << ": " << error << '\n';
        return kExitUsage;
    }
    return (result.Skipped() > 0 || !input->unlisted.empty()) ? kExitFailed : kExitOk;
}

}  // namespace kelvarin::cli
