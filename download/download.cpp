// The chunked, reply-checked download of the web image.
#include "download.h"

#include "chunk_frame.h"
#include "dump_file.h"
#include "reply_check.h"
#include "web_image.h"

#include <cstdio>
#include <vector>

namespace kelvarin {

namespace {

// "发送到%d, %d, %X" followed by what happened to the chunk.
void LogChunk(LogSink& log, std::size_t sent, std::size_t pageOffset, unsigned fileNumber,
              const char* what) {
    char line[128];
    std::snprintf(line, sizeof line, "发送到%zu, %zu, %X%s", sent, pageOffset, fileNumber, what);
    log.AppendLine(line);
}

}  // namespace

SendReport SendWebImage(const FileListModel& files, CDeviceLink& link, LogSink& log,
                        ProgressSink& progress, const std::string& dumpPath, int replyTimeoutMs) {
    SendReport report;
    std::vector<std::uint8_t> image(kImageCapacity, kFillByte);
    const std::size_t length = PackImage(files, image.data(), image.size(), log, &report.pack);
    report.imageLength = length;
    progress.SetRange(0, static_cast<std::uint32_t>(length));
    log.AppendLine("开始发送");

    if (!dumpPath.empty()) {
        report.dumpWritten = WriteDumpFile(dumpPath, image.data(), length);
        if (!report.dumpWritten) {
            log.AppendLine("写入文件" + dumpPath + "失败");
        }
    }

    ChunkFrame frame;
    unsigned fileNumber = ChunkFrame::kFirstFile;
    std::size_t pageOffset = 0;
    std::size_t sent = 0;
    while (sent < length) {
        const std::size_t n =
            length - sent < ChunkFrame::kMaxData ? length - sent : ChunkFrame::kMaxData;
        if (pageOffset >= ChunkFrame::kPageSize) {
            ++fileNumber;
            pageOffset = 0;
        }
        frame.Set(static_cast<std::uint16_t>(fileNumber), static_cast<std::uint16_t>(pageOffset),
                  image.data() + sent, n);
        sent += n;
        pageOffset += n;
        ++report.chunks;

        // A reply that arrived after its chunk's wait ended must not be read
        // as the answer to this one.
        bool linkOk = DiscardPending(link);
        if (linkOk) {
            linkOk = link.Send(frame.Bytes(), static_cast<int>(frame.Size())) ==
                     static_cast<int>(frame.Size());
        }
        ReplyOutcome outcome =
            linkOk ? AwaitReply(link, frame, replyTimeoutMs) : ReplyOutcome::kConnectionLost;
        if (outcome == ReplyOutcome::kConnectionLost) {
            ++report.failedChunks;
            report.connectionLost = true;
            LogChunk(log, sent, pageOffset, fileNumber, "连接中断");
            break;
        }
        if (outcome != ReplyOutcome::kEcho) {
            ++report.failedChunks;
            LogChunk(log, sent, pageOffset, fileNumber,
                     outcome == ReplyOutcome::kNoReply ? "无应答" : "返回失败");
        }
        progress.SetPosition(static_cast<std::uint32_t>(sent));
    }

    if (report.failedChunks > 0) {
        char line[64];
        std::snprintf(line, sizeof line, "%d个数据块发送失败", report.failedChunks);
        log.AppendLine(line);
    }
    log.AppendLine("发送结束!!!!!");
    return report;
}

}  // namespace kelvarin
