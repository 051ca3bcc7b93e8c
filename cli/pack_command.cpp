// kelvarin-cli pack: the packer from the command line.
#include "commands.h"

#include "file_list.h"
#include "packer.h"
#include "web_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

namespace kelvarin::cli {

namespace {

class StdoutLog : public LogSink {
  public:
    void AppendLine(std::string_view line) override { std::cout << line << '\n'; }
};

bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t length,
                std::string* error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        *error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(data, 1, length, out) == length;
    if (!ok) {
        *error = std::strerror(errno);
    }
    if (std::fclose(out) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

bool FillFileList(const std::vector<std::string>& files, FileListModel& list) {
    bool all = true;
    for (const std::string& path : files) {
        if (!list.FindFile(path) && !list.AddFile(path)) {
            std::cerr << "kelvarin-cli: " << path << ": not packed, the list holds at most "
                      << kMaxFiles << " files\n";
            all = false;
        }
    }
    return all;
}

int RunPack(const std::string& output, const std::vector<std::string>& files) {
    FileListModel list;
    const bool dropped = !FillFileList(files, list);

    std::vector<std::uint8_t> image(kImageCapacity, kFillByte);
    StdoutLog log;
    PackStats stats;
    std::size_t length = PackImage(list, image.data(), image.size(), log, &stats);
    std::cout.flush();

    std::string error;
    if (!WriteWhole(output, image.data(), length, &error)) {
        std::cerr << "kelvarin-cli: cannot write image " << output << ": " << error << '\n';
        return kExitUsage;
    }
    return (stats.skipped > 0 || dropped) ? kExitFailed : kExitOk;
}

}  // namespace kelvarin::cli
