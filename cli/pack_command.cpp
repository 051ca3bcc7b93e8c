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
    const MessageCatalog catalog(LanguageFromEnvironment());
    const PackResult result = PackImage(input->request);
    for (const std::string& line : catalog.PackLines(result)) {
        std::cout << line << '\n';
    }
    if (source.allOrNothing && !result.Complete()) {
        std::cout << catalog.NothingSentLine(result, true) << std::endl;
        return kExitFailed;
    }
    std::cout.flush();

    std::string error;
    const std::string_view bytes(reinterpret_cast<const char*>(result.image.data()),
                                 result.image.size());
    if (!WriteWholeFile(output, bytes, &error)) {
        std::cerr << "kelvarin-cli: " << catalog.Text(MessageId::kImageNotWritten, {output, error})
                  << '\n';
        return kExitUsage;
    }
    return result.Complete() ? kExitOk : kExitFailed;
}

}  // namespace kelvarin::cli
