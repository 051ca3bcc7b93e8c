// PackImage: builds the web image from the file list.
#pragma once

#include "file_list.h"
#include "log_sink.h"
#include "web_image.h"

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// What one packing run did with the file rows.
struct PackStats {
    int packed = 0;   // records written
    int skipped = 0;  // rows not packed: unreadable, too large or changed while read
};

// Packs the file rows of files into buffer, one record per readable file, and
// returns the image length (a multiple of 4; 0 when nothing was packed).
// Logs "正在打包", the advisory size warning, one line per skipped file and
// "打包完成". Never writes at or past capacity. Bytes it does not write keep
// the caller's fill, whose value the caller passes as fill: a file that yields
// fewer or more bytes than its length while being read is not packed, and the
// bytes it had already put in place are set back to fill. stats, when given,
// receives the counts.
std::size_t PackImage(const FileListModel& files, std::uint8_t* buffer, std::size_t capacity,
                      LogSink& log, PackStats* stats = nullptr, std::uint8_t fill = kFillByte);

// The URL name of a path: "/" followed by its last component.
std::string UrlName(const std::string& path);

}  // namespace kelvarin
