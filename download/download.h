// The Send command's work: pack, dump, download chunk by chunk, check replies.
#pragma once

#include "device_link.h"
#include "file_list.h"
#include "log_sink.h"
#include "packer.h"
#include "progress_sink.h"

#include <cstddef>
#include <string>

namespace kelvarin {

// How long each chunk waits for its whole reply.
inline constexpr int kReplyTimeoutMs = 200;

// What one Send command did.
struct SendReport {
    std::size_t imageLength = 0;  // bytes packed (and sent, unless the link broke)
    PackStats pack;               // files packed and skipped
    int chunks = 0;               // requests sent
    int failedChunks = 0;         // chunks without a correct echo
    bool connectionLost = false;  // the link broke; the caller should close it
    bool dumpWritten = false;     // the dump file holds the image

    // True when every file was packed and every chunk came back as its echo.
    bool Succeeded() const { return pack.skipped == 0 && failedChunks == 0 && !connectionLost; }
};

// Packs files into a 0xFF-filled 131072-byte image, writes it to dumpPath
// (skipped when empty), then sends it over link in Write File Record requests
// of at most 128 bytes, each waiting up to replyTimeoutMs for its echo. Logs
// the packer's lines, "开始发送", a line per failed chunk, the failure count
// and "发送结束!!!!!"; moves progress from 0 to the image length. A lost
// connection stops the download; the report says so.
SendReport SendWebImage(const FileListModel& files, CDeviceLink& link, LogSink& log,
                        ProgressSink& progress, const std::string& dumpPath,
                        int replyTimeoutMs = kReplyTimeoutMs);

}  // namespace kelvarin
