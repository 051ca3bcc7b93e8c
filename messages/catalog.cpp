// The tables of the catalog and the formatting of their texts.
#include "catalog.h"

#include <array>
#include <cstdio>

namespace kelvarin {

namespace {

constexpr std::size_t kMessageCount = static_cast<std::size_t>(MessageId::kCount);
using Table = std::array<std::string_view, kMessageCount>;

// How many values each message takes, in MessageId order.
constexpr std::array<int, kMessageCount> kArgumentCounts = {
    2, 2, 0,              // connection
    1, 0, 0, 1, 0,        // web options
    0, 0, 1, 1, 1, 1, 0,  // packing
    0, 1, 3, 3, 3, 1, 0,  // sending
};

// The product's own texts, exactly as the log has always shown them.
constexpr Table kChinese = {
    "{0}:{1} 连接成功",
    "{0}:{1} 连接失败",
    "断开连接",
    "网页选项：{0}",
    "内容类型",
    "gzip压缩",
    "网站根目录{0}",
    "，",
    "正在打包",
    "打包文件长度可能超过了最大限制，会有部分文件不能被打包",
    "{0}打开失败",
    "{0}读取失败",
    "大小已经超限，{0}文件不被打包",
    "{0}路径重复，设备只能提供第一个同路径的文件",
    "打包完成",
    "开始发送",
    "写入文件{0}失败",
    "发送到{0}, {1}, {2}返回失败",
    "发送到{0}, {1}, {2}无应答",
    "发送到{0}, {1}, {2}连接中断",
    "{0}个数据块发送失败",
    "发送结束!!!!!",
};

// True when text uses exactly the placeholders {0} .. {count-1}, each at least
// once, and no other braces.
constexpr bool HasPlaceholders(std::string_view text, int count) {
    unsigned seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '}') {
            return false;
        }
        if (text[i] != '{') {
            continue;
        }
        if (i + 2 >= text.size() || text[i + 1] < '0' || text[i + 1] > '9' || text[i + 2] != '}') {
            return false;
        }
        const int index = text[i + 1] - '0';
        if (index >= count) {
            return false;
        }
        seen |= 1u << index;
        i += 2;
    }
    return seen == (1u << count) - 1;
}

constexpr bool IsComplete(const Table& table) {
    for (std::size_t id = 0; id < kMessageCount; ++id) {
        if (table[id].empty() || !HasPlaceholders(table[id], kArgumentCounts[id])) {
            return false;
        }
    }
    return true;
}

static_assert(IsComplete(kChinese), "the Chinese table lacks a text or has wrong placeholders");

const Table& TableOf(Language language) {
    switch (language) {
        case Language::kChinese:
            break;
    }
    return kChinese;
}

std::string UpperHex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

MessageCatalog::MessageCatalog(Language language) : m_language(language) {}

std::string MessageCatalog::Text(MessageId id, std::initializer_list<std::string_view> args) const {
    const std::string_view text = TableOf(m_language)[static_cast<std::size_t>(id)];
    std::string line;
    line.reserve(text.size() + 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}') {
            const std::size_t index = static_cast<std::size_t>(text[i + 1] - '0');
            if (index < args.size()) {
                line += *(args.begin() + index);
            }
            i += 2;
            continue;
        }
        line += text[i];
    }
    return line;
}

std::string MessageCatalog::Connected(std::string_view host, int port) const {
    return Text(MessageId::kConnected, {host, std::to_string(port)});
}

std::string MessageCatalog::ConnectFailed(std::string_view host, int port) const {
    return Text(MessageId::kConnectFailed, {host, std::to_string(port)});
}

std::string MessageCatalog::Disconnected() const {
    return Text(MessageId::kDisconnected);
}

std::string MessageCatalog::OptionsLine(const PackOptions& options) const {
    std::vector<std::string> parts;
    if (options.contentTypes) {
        parts.push_back(Text(MessageId::kOptionContentTypes));
    }
    if (options.gzip) {
        parts.push_back(Text(MessageId::kOptionGzip));
    }
    if (!options.siteRoot.empty()) {
        parts.push_back(Text(MessageId::kOptionSiteRoot, {options.siteRoot}));
    }
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty()) {
            joined += Text(MessageId::kListSeparator);
        }
        joined += part;
    }
    return Text(MessageId::kWebOptions, {joined});
}

std::vector<std::string> MessageCatalog::PackLines(const PackResult& result) const {
    std::vector<std::string> lines;
    if (result.options.Any()) {
        lines.push_back(OptionsLine(result.options));
    }
    lines.push_back(Text(MessageId::kPacking));
    if (result.mayExceedCapacity) {
        lines.push_back(Text(MessageId::kMayExceedCapacity));
    }
    for (const PackedFile& file : result.files) {
        switch (file.outcome) {
            case FileOutcome::kPacked:
                if (file.duplicateOf >= 0) {
                    lines.push_back(Text(MessageId::kDuplicateUrl, {file.urlName}));
                }
                break;
            case FileOutcome::kOpenFailed:
                lines.push_back(Text(MessageId::kOpenFailed, {file.path}));
                break;
            case FileOutcome::kReadFailed:
                lines.push_back(Text(MessageId::kReadFailed, {file.path}));
                break;
            case FileOutcome::kTooLarge:
                lines.push_back(Text(MessageId::kTooLarge, {file.urlName}));
                break;
        }
    }
    lines.push_back(Text(MessageId::kPackDone));
    return lines;
}

std::string MessageCatalog::ChunkLine(const ChunkOutcome& outcome) const {
    MessageId id = MessageId::kChunkRejected;
    switch (outcome.result) {
        case ChunkResult::kEcho:
            return {};
        case ChunkResult::kMismatch:
            id = MessageId::kChunkRejected;
            break;
        case ChunkResult::kNoReply:
            id = MessageId::kChunkNoReply;
            break;
        case ChunkResult::kConnectionLost:
            id = MessageId::kChunkConnectionLost;
            break;
    }
    return Text(id, {std::to_string(outcome.sent), std::to_string(outcome.pageOffset),
                     UpperHex(outcome.fileNumber)});
}

std::vector<std::string> MessageCatalog::EndLines(const DownloadReport& report) const {
    std::vector<std::string> lines;
    if (report.failedChunks > 0) {
        lines.push_back(Text(MessageId::kFailedChunks, {std::to_string(report.failedChunks)}));
    }
    lines.push_back(Text(MessageId::kSendEnd));
    return lines;
}

}  // namespace kelvarin
