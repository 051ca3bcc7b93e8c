// Writing the dump file and finding its default place.
#include "dump_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kelvarin {

std::string DefaultDumpPath(bool create) {
    std::filesystem::path base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;
    } else if (home && home[0] != '\0') {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        return {};
    }
    std::filesystem::path folder = base / "kelvarin";
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    return (folder / "a.dat").string();
}

bool WriteDumpFile(const std::string& path, const std::uint8_t* data, std::size_t length) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        return false;
    }
    bool ok = std::fwrite(data, 1, length, out) == length;
    ok = (std::fclose(out) == 0) && ok;
    return ok;
}

}  // namespace kelvarin
