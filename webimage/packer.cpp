// The packer: one record per readable file, read straight into its place.
#include "packer.h"

#include "regular_file.h"

#include <cstdio>
#include <cstring>

namespace kelvarin {

namespace {

void LogTooLarge(LogSink& log, const std::string& name) {
    std::string line = "大小已经超限，";
    line += name;
    line += "文件不被打包";
    log.AppendLine(line);
}

}  // namespace

std::string UrlName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
}

std::size_t PackImage(const FileListModel& files, std::uint8_t* buffer, std::size_t capacity,
                      LogSink& log, PackStats* stats, std::uint8_t fill) {
    PackStats counts;
    log.AppendLine("正在打包");

    // Advisory check from the total row's displayed size; packing goes on.
    const double totalKiB = LeadingNumber(files.Text(files.RowCount() - 1, kColumnLength));
    const double totalBytes = totalKiB * 1024.0;
    const bool overCapacity = totalBytes >= 9.0e18 ||  // beyond any integer: surely too large
                              static_cast<long long>(capacity) < static_cast<long long>(totalBytes);
    if (overCapacity) {
        log.AppendLine("打包文件长度可能超过了最大限制，会有部分文件不能被打包");
    }

    std::size_t offset = 0;
    bool wroteRecord = false;
    std::size_t lastRecord = 0;
    const int fileCount = files.FileCount();
    for (int row = 0; row < fileCount; ++row) {
        const std::string& path = files.FilePath(row);
        RegularFile file;
        if (!file.Open(path)) {
            log.AppendLine(path + "打开失败");
            ++counts.skipped;
            continue;
        }
        const std::uint64_t length = file.Size();
        const std::string name = UrlName(path);
        const std::string_view header = ResponseHeaderFor(name);

        // 64-bit arithmetic: a file of any size only ever makes next > capacity.
        const std::uint64_t record = offset;
        const std::uint64_t responseAt = NextAligned(record + kHeadSize + name.size() + 1);
        const std::uint64_t contentsAt = responseAt + header.size();
        const std::uint64_t next = NextAligned(contentsAt + length);
        if (next > capacity) {
            LogTooLarge(log, name);
            ++counts.skipped;
            continue;
        }

        // Contents first, so that a file that changed under us leaves no head.
        std::uint8_t* contents = buffer + contentsAt;
        const std::size_t got = file.ReadFull(contents, static_cast<std::size_t>(length));
        if (got != length || file.HasMoreData()) {
            std::memset(contents, fill, got);
            log.AppendLine(path + "读取失败");
            ++counts.skipped;
            continue;
        }

        FileHead head;
        head.nameAddress = kImageBase + static_cast<std::uint32_t>(record + kHeadSize);
        head.responseAddress = kImageBase + static_cast<std::uint32_t>(responseAt);
        head.responseLength = static_cast<std::uint32_t>(header.size() + length);
        head.tagNumber = row;
        head.nextAddress = kImageBase + static_cast<std::uint32_t>(next);
        WriteFileHead(buffer + record, head);
        std::memcpy(buffer + record + kHeadSize, name.data(), name.size());
        buffer[record + kHeadSize + name.size()] = 0;
        std::memcpy(buffer + responseAt, header.data(), header.size());

        wroteRecord = true;
        lastRecord = static_cast<std::size_t>(record);
        offset = static_cast<std::size_t>(next);
        ++counts.packed;
    }
    if (wroteRecord) {
        StoreLE32(buffer + lastRecord + kHeadNextAddress, 0);
    }
    log.AppendLine("打包完成");
    if (stats) {
        *stats = counts;
    }
    return offset;
}

}  // namespace kelvarin
