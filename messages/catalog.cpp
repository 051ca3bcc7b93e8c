// The tables of the catalog and the formatting of their texts.
#include "catalog.h"

#include "ascii.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace kelvarin {

namespace {

constexpr std::size_t kMessageCount = static_cast<std::size_t>(MessageId::kCount);
using Table = std::array<std::string_view, kMessageCount>;

// How many values each message takes, in MessageId order.
constexpr std::array<int, kMessageCount> kArgumentCounts = {
    2, 2, 0,                    // connecting
    1, 0, 0, 1, 0,              // web options
    0, 0, 1, 1, 1, 1, 0,        // packing
    0, 1, 3, 3, 3, 1, 0,        // sending
    0, 1, 2, 1, 0, 1, 1, 1, 1,  // reading back
    2, 3, 3, 0, 1, 0, 2, 1, 1,  // a fleet
    0, 1,                       // comparing an image that lacks files
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
    "开始校验",
    "校验通过，设备中的{0}字节与映像相同",
    "校验失败，{0}个字节不同，第一个在偏移{1}",
    "无法回读：{0}",
    "下载已成功，但设备不能回读，未校验",
    "读文件记录请求返回异常{0}",
    "读取偏移{0}无应答",
    "读取偏移{0}时连接中断",
    "读取偏移{0}的应答不正确",
    "{0} 成功，用时{1}秒",
    "{0} 失败：{1}，用时{2}秒",
    "共{0}台设备：{1}台成功，{2}台失败",
    "连接失败",
    "{0}个数据块发送失败",
    "连接中断",
    "校验失败，{0}个字节不同，第一个在偏移{1}",
    "无法回读，{0}",
    "{0}个文件未打包",
    "没有文件被打包，无可校验",
    "{0}个文件未打包，校验的映像不完整",
};

constexpr Table kEnglish = {
    "{0}:{1} connected",
    "{0}:{1} connection failed",
    "Disconnected",
    "Web options: {0}",
    "content types",
    "gzip",
    "site root {0}",
    ", ",
    "Packing",
    "The files may exceed the image's size: some of them may not be packed",
    "{0}: cannot be opened",
    "{0}: cannot be read whole",
    "{0} is too large and is not packed",
    "{0} is packed twice: the device can only ever serve the first",
    "Packing done",
    "Sending",
    "Cannot write file {0}",
    "Sent {0}, {1}, {2}: wrong reply",
    "Sent {0}, {1}, {2}: no reply",
    "Sent {0}, {1}, {2}: connection lost",
    "{0} chunks failed",
    "Sending finished",
    "Verifying",
    "Verified: the device holds the image's {0} bytes",
    "Verify failed: {0} bytes differ, the first at offset {1}",
    "Cannot read back: {0}",
    "The download succeeded, but the device cannot be read back: not verified",
    "Read File Record answered with exception {0}",
    "no reply reading offset {0}",
    "connection lost reading offset {0}",
    "wrong reply reading offset {0}",
    "{0} ok in {1} s",
    "{0} failed: {1}, {2} s",
    "{0} devices: {1} ok, {2} failed",
    "connection failed",
    "{0} chunks failed",
    "connection lost",
    "verify failed: {0} bytes differ, the first at offset {1}",
    "cannot be read back: {0}",
    "{0} files not packed",
    "No file was packed: nothing to verify",
    "{0} files not packed: the image verified is not the whole site",
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
static_assert(IsComplete(kEnglish), "the English table lacks a text or has wrong placeholders");

const Table& TableOf(Language language) {
    switch (language) {
        case Language::kEnglish:
            return kEnglish;
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

Language LanguageFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && value[0] != '\0') {
            const std::string_view locale(value);
            const bool english =
                StartsWithIgnoringCase(locale, "en") &&
                (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
            return english ? Language::kEnglish : Language::kChinese;
        }
    }
    return Language::kChinese;
}

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

std::string MessageCatalog::WhyUnreadable(const VerifyReport& report) const {
    const std::string at = std::to_string(report.failedAt);
    switch (report.failure) {
        case ReadFailure::kException:
            return Text(MessageId::kWhyException, {std::to_string(report.exceptionCode)});
        case ReadFailure::kNoReply:
            return Text(MessageId::kWhyNoReply, {at});
        case ReadFailure::kConnectionLost:
            return Text(MessageId::kWhyConnectionLost, {at});
        case ReadFailure::kMalformed:
        case ReadFailure::kNone:
            break;
    }
    return Text(MessageId::kWhyMalformed, {at});
}

std::vector<std::string> MessageCatalog::VerifyLines(const VerifyReport& report,
                                                     bool downloaded) const {
    switch (report.outcome) {
        case VerifyOutcome::kEqual:
            return {Text(MessageId::kVerifyEqual, {std::to_string(report.length)})};
        case VerifyOutcome::kDifferent:
            return {Text(MessageId::kVerifyDifferent, {std::to_string(report.differingBytes),
                                                       std::to_string(report.firstDifference)})};
        case VerifyOutcome::kUnreadable:
            break;
    }
    std::vector<std::string> lines = {Text(MessageId::kVerifyUnreadable, {WhyUnreadable(report)})};
    if (downloaded) {
        lines.push_back(Text(MessageId::kVerifyNotDone));
    }
    return lines;
}

std::string MessageCatalog::TargetFailure(const TargetResult& result) const {
    if (result.Succeeded()) {
        return {};
    }
    if (!result.connected) {
        return Text(MessageId::kReasonConnectFailed);
    }
    if (result.download.connectionLost) {
        return Text(MessageId::kReasonConnectionLost);
    }
    if (result.download.failedChunks > 0 || !result.download.Succeeded()) {
        return Text(MessageId::kReasonChunks, {std::to_string(result.download.failedChunks)});
    }
    if (result.verify && result.verify->outcome == VerifyOutcome::kDifferent) {
        return Text(MessageId::kReasonDifferent, {std::to_string(result.verify->differingBytes),
                                                  std::to_string(result.verify->firstDifference)});
    }
    return Text(MessageId::kReasonUnreadable, {result.verify ? WhyUnreadable(*result.verify) : ""});
}

std::string MessageCatalog::TargetLine(const TargetResult& result) const {
    const std::string seconds = Seconds(result.seconds);
    if (result.Succeeded()) {
        return Text(MessageId::kTargetDone, {result.target.Text(), seconds});
    }
    return Text(MessageId::kTargetFailed, {result.target.Text(), TargetFailure(result), seconds});
}

std::string MessageCatalog::FleetSummary(int devices, int succeeded) const {
    return Text(MessageId::kFleetSummary, {std::to_string(devices), std::to_string(succeeded),
                                           std::to_string(devices - succeeded)});
}

std::string MessageCatalog::Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

}  // namespace kelvarin
