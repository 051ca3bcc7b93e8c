// The message catalog: every Chinese log line exactly as the log has always
// shown it, and the order of the packer's lines.
#include "catalog.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kelvarin {
namespace {

PackedFile File(std::string path, std::string urlName, FileOutcome outcome) {
    PackedFile file;
    file.path = std::move(path);
    file.urlName = std::move(urlName);
    file.outcome = outcome;
    return file;
}

ChunkOutcome Chunk(std::size_t sent, std::size_t pageOffset, unsigned file, Outcome result) {
    ChunkOutcome outcome;
    outcome.sent = sent;
    outcome.pageOffset = pageOffset;
    outcome.fileNumber = file;
    outcome.result = result;
    return outcome;
}

TEST(MessageCatalog, ChineseLinesAreTheProductsOwn) {
    const MessageCatalog zh(Language::kChinese);
    EXPECT_EQ(zh.Connected("192.168.2.80", 502), "192.168.2.80:502 连接成功");
    EXPECT_EQ(zh.ConnectFailed("0.0.0.0", 70000), "0.0.0.0:70000 连接失败");
    EXPECT_EQ(zh.Disconnected(), "断开连接");
    EXPECT_EQ(zh.Text(MessageId::kSendStart), "开始发送");
    EXPECT_EQ(zh.Text(MessageId::kDumpFailed, {"/x/a.dat"}), "写入文件/x/a.dat失败");

    EXPECT_EQ(zh.ChunkLine(Chunk(128, 128, 16, Outcome::kWrong)),
              "发送到128, 128, 10返回失败");
    EXPECT_EQ(zh.ChunkLine(Chunk(65664, 128, 17, Outcome::kNoReply)),
              "发送到65664, 128, 11无应答");
    EXPECT_EQ(zh.ChunkLine(Chunk(384, 384, 0x1A, Outcome::kConnectionLost)),
              "发送到384, 384, 1A连接中断");
    EXPECT_EQ(zh.ChunkLine(Chunk(128, 128, 16, Outcome::kGood)), "");

    DownloadReport report;
    EXPECT_EQ(zh.EndLines(report), std::vector<std::string>{"发送结束!!!!!"});
    report.failedChunks = 3;
    EXPECT_EQ(zh.EndLines(report),
              (std::vector<std::string>{"3个数据块发送失败", "发送结束!!!!!"}));
}

TEST(MessageCatalog, PackLinesFollowTheFilesInOrder) {
    const MessageCatalog zh;
    PackResult result;
    EXPECT_EQ(zh.PackLines(result), (std::vector<std::string>{"正在打包", "打包完成"}));

    result.mayExceedCapacity = true;
    result.files = {File("/s/a.htm", "/a.htm", FileOutcome::kPacked),
                    File("/s/big.bin", "/big.bin", FileOutcome::kTooLarge),
                    File("/s/gone", "/gone", FileOutcome::kOpenFailed),
                    File("/proc/x", "/x", FileOutcome::kReadFailed)};
    EXPECT_EQ(zh.PackLines(result),
              (std::vector<std::string>{"正在打包",
                                        "打包文件长度可能超过了最大限制，会有部分文件不能被打包",
                                        "大小已经超限，/big.bin文件不被打包", "/s/gone打开失败",
                                        "/proc/x读取失败", "打包完成"}));
}

TEST(MessageCatalog, WebOptionsAndDuplicatePathsAreSaid) {
    const MessageCatalog zh;
    PackResult result;
    result.options.contentTypes = true;
    result.options.gzip = true;
    result.options.siteRoot = "/srv/site";
    PackedFile again = File("/srv/b/index.htm", "/index.htm", FileOutcome::kPacked);
    again.duplicateOf = 0;
    result.files = {File("/srv/a/index.htm", "/index.htm", FileOutcome::kPacked), again};
    EXPECT_EQ(zh.PackLines(result),
              (std::vector<std::string>{
                  "网页选项：内容类型，gzip压缩，网站根目录/srv/site", "正在打包",
                  "/index.htm路径重复，设备只能提供第一个同路径的文件", "打包完成"}));
    PackOptions gzipOnly;
    gzipOnly.gzip = true;
    EXPECT_EQ(zh.OptionsLine(gzipOnly), "网页选项：gzip压缩");
}

TEST(MessageCatalog, EnglishSaysTheSameThings) {
    const MessageCatalog en(Language::kEnglish);
    EXPECT_EQ(en.Connected("10.0.0.5", 503), "10.0.0.5:503 connected");
    EXPECT_EQ(en.ChunkLine(Chunk(128, 128, 16, Outcome::kWrong)),
              "Sent 128, 128, 10: wrong reply");
    DownloadReport report;
    report.failedChunks = 2;
    EXPECT_EQ(en.EndLines(report),
              (std::vector<std::string>{"2 chunks failed", "Sending finished"}));
    report.failedChunks = 1;
    EXPECT_EQ(en.EndLines(report)[0], "1 chunk failed");
    EXPECT_EQ(en.FleetSummary(1, 1), "1 device: 1 ok, 0 failed");
    EXPECT_EQ(en.FleetSummary(0, 0), "0 devices: 0 ok, 0 failed");
    VerifyReport equal;
    equal.outcome = VerifyOutcome::kEqual;
    equal.length = 1;
    EXPECT_EQ(en.VerifyLines(equal, false)[0], "Verified: the device holds the image's 1 byte");
    VerifyReport different;
    different.outcome = VerifyOutcome::kDifferent;
    different.differingBytes = 1;
    different.firstDifference = 11;
    EXPECT_EQ(en.VerifyLines(different, false)[0],
              "Verify failed: 1 byte differs, the first at offset 11");
    different.differingBytes = 21;
    EXPECT_EQ(en.VerifyLines(different, false)[0],
              "Verify failed: 21 bytes differ, the first at offset 11");
    // The Chinese lines have no plural forms.
    EXPECT_EQ(MessageCatalog().EndLines(report)[0], "1个数据块发送失败");
    VerifyReport unread;
    unread.failure = Outcome::kRefused;
    unread.exceptionCode = 1;
    EXPECT_EQ(en.VerifyLines(unread, true),
              (std::vector<std::string>{
                  "Cannot read back: Read File Record answered with exception 1",
                  "The download succeeded, but the device cannot be read back: not verified"}));
}

TEST(MessageCatalog, TheLocaleChoosesTheLanguage) {
    const struct {
        const char* all;
        const char* messages;
        const char* lang;
        Language language;
    } cases[] = {
        {nullptr, nullptr, nullptr, Language::kChinese},  // nothing set: the product's own
        {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
        {nullptr, nullptr, "en", Language::kEnglish},
        {nullptr, nullptr, "zh_CN.UTF-8", Language::kChinese},
        {nullptr, nullptr, "C.UTF-8", Language::kChinese},
        {nullptr, nullptr, "eng", Language::kChinese},  // not English's code
        {nullptr, "en_GB", "zh_CN.UTF-8", Language::kEnglish},
        {"zh_TW.UTF-8", "en_GB", "en_US", Language::kChinese},  // LC_ALL first
        {"", "", "en_US", Language::kEnglish},                  // empty ones are skipped
    };
    for (const auto& c : cases) {
        for (const auto& [name, value] :
             {std::pair{"LC_ALL", c.all}, std::pair{"LC_MESSAGES", c.messages},
              std::pair{"LANG", c.lang}}) {
            test::SetEnv(name, value);
        }
        EXPECT_EQ(LanguageFromEnvironment(), c.language)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
    test::SetEnv("LC_ALL", "C.UTF-8");
}

TEST(MessageCatalog, PlaceholdersTakeTheirArgumentsVerbatim) {
    const MessageCatalog zh;
    // Braces and percent signs in a value are text, not placeholders.
    EXPECT_EQ(zh.Text(MessageId::kOpenFailed, {"/a/{1}%s.htm"}), "/a/{1}%s.htm打开失败");
    // A missing argument leaves its place empty rather than failing.
    EXPECT_EQ(zh.Text(MessageId::kOpenFailed), "打开失败");
}

}  // namespace
}  // namespace kelvarin
