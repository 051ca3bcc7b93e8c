// The download against a scripted link: exact frames, the reply check, and
// every way a device can fail to echo, with the log lines they give.
#include "download.h"

#include "catalog.h"
#include "fake_link.h"
#include "modbus_frame.h"
#include "dump_file.h"
#include "job_log.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

// A link whose device is a function from the n-th request (1-based) to the
// bytes it answers with; an answer is delivered in the given pieces.
class ScriptedLink : public test::FakeLink {
  public:
    using Device = std::function<Bytes(int index, const Bytes& request)>;
    explicit ScriptedLink(Device device) : m_device(std::move(device)) {}

    void SplitInto(std::size_t pieceSize) { m_pieceSize = pieceSize; }
    void CloseAfter(int requests) { m_closeAfter = requests; }

  protected:
    void OnRequest(int n, const Bytes& request) override {
        Arrive(m_device(n, request), 0, m_pieceSize);
        if (m_closeAfter > 0 && n >= m_closeAfter) {
            CloseConnection();
        }
    }

  private:
    Device m_device;
    std::size_t m_pieceSize = 0;
    int m_closeAfter = 0;
};

Bytes Echo(int, const Bytes& request) {
    return request;
}

Bytes ExceptionReply(int, const Bytes& request) {
    return {request[0], request[1], 0, 0, 0, 3, request[6], 0x95, 0x04};
}

class RecordedProgress : public ProgressSink {
  public:
    void SetRange(std::uint32_t low, std::uint32_t high) override { range = {low, high}; }
    void SetPosition(std::uint32_t position) override { positions.push_back(position); }
    std::pair<std::uint32_t, std::uint32_t> range{99, 99};
    std::vector<std::uint32_t> positions;
};

std::string Hex16(const Bytes& frame) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < 16 && i < frame.size(); ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", frame[i]);
        text += byte;
    }
    return text;
}

// An image of length bytes, each derived from its offset.
Bytes Image(std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    }
    return image;
}

// Records the outcome of every chunk.
class RecordedChunks : public DownloadObserver {
  public:
    void OnChunk(const ChunkOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<Outcome> Results() const {
        std::vector<Outcome> results;
        for (const ChunkOutcome& outcome : outcomes) {
            results.push_back(outcome.result);
        }
        return results;
    }
    std::vector<ChunkOutcome> outcomes;
};

struct SendRun {
    DownloadReport report;
    LogLines log;
    RecordedProgress progress;
};

// One download of image over link with the log lines of a Send.
SendRun Send(const Bytes& image, ScriptedLink& link) {
    SendRun run;
    const MessageCatalog catalog;
    JobLog log(catalog, run.log, run.progress, nullptr);
    log.OnSendStart(image.size());
    run.report = DownloadImage(image, link, TransferOptions{}, log);
    log.OnSendEnd(run.report);
    return run;
}

constexpr Outcome kEcho = Outcome::kGood;

TEST(Download, SmallImageFramesAreExact) {
    const Bytes image = Image(192);
    ScriptedLink link(Echo);
    RecordedChunks chunks;
    DownloadReport report = DownloadImage(image, link, LinkTimeouts{}, chunks);

    ASSERT_EQ(link.Requests().size(), 2u);
    EXPECT_EQ(link.Requests()[0].size(), 144u);
    EXPECT_EQ(link.Requests()[1].size(), 80u);
    EXPECT_EQ(Hex16(link.Requests()[0]), "00 00 00 00 00 8A 00 15 87 06 00 10 00 00 00 40");
    EXPECT_EQ(Hex16(link.Requests()[1]), "00 00 00 00 00 4A 00 15 47 06 00 10 00 80 00 20");
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 128, link.Requests()[0].begin() + 16));
    EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), link.Requests()[1].begin() + 16));

    EXPECT_EQ(chunks.Results(), (std::vector<Outcome>{kEcho, kEcho}));
    EXPECT_EQ(chunks.outcomes[1].sent, 192u);
    EXPECT_EQ(chunks.outcomes[1].pageOffset, 192u);
    EXPECT_EQ(chunks.outcomes[1].fileNumber, 16u);
    EXPECT_TRUE(report.Succeeded());
    EXPECT_EQ(report.chunks, 2);
    EXPECT_EQ(report.bytesSent, 192u);
}

TEST(Download, SecondPageStartsAtFileSeventeen) {
    ScriptedLink link(Echo);
    RecordedChunks chunks;
    DownloadReport report = DownloadImage(Image(65540), link, LinkTimeouts{}, chunks);
    ASSERT_EQ(link.Requests().size(), 513u);
    EXPECT_EQ(Hex16(link.Requests()[511]), "00 00 00 00 00 8A 00 15 87 06 00 10 FF 80 00 40");
    EXPECT_EQ(Hex16(link.Requests()[512]), "00 00 00 00 00 0E 00 15 0B 06 00 11 00 00 00 02");
    EXPECT_EQ(link.Requests()[512].size(), 20u);
    EXPECT_EQ(chunks.outcomes[511].pageOffset, 65536u);  // the page's end, as sent
    EXPECT_EQ(chunks.outcomes[512].pageOffset, 4u);
    EXPECT_EQ(chunks.outcomes[512].fileNumber, 17u);
    EXPECT_TRUE(report.Succeeded());
}

TEST(Download, ImagesThatCannotBeWrittenAreRefusedUnsent) {
    ScriptedLink link(Echo);
    RecordedChunks chunks;
    EXPECT_TRUE(DownloadImage(Image(191), link, LinkTimeouts{}, chunks).imageRefused);
    EXPECT_TRUE(DownloadImage(Image(131074), link, LinkTimeouts{}, chunks).imageRefused);
    EXPECT_TRUE(link.Requests().empty());
    EXPECT_TRUE(chunks.outcomes.empty());
}

TEST(Download, ExceptionRepliesFailEveryChunk) {
    ScriptedLink link(ExceptionReply);
    SendRun run = Send(Image(192), link);
    EXPECT_EQ(run.log.Lines(), (std::vector<std::string>{"开始发送", "发送到128, 128, 10返回失败",
                                                         "发送到192, 192, 10返回失败",
                                                         "2个数据块发送失败", "发送结束!!!!!"}));
    EXPECT_FALSE(run.report.Succeeded());
    EXPECT_EQ(run.progress.positions.back(), 192u);
}

TEST(Download, SilenceIsAFailureNotASuccess) {
    ScriptedLink link([](int, const Bytes&) { return Bytes{}; });
    RecordedChunks chunks;
    DownloadReport report = DownloadImage(Image(192), link, LinkTimeouts{}, chunks);
    EXPECT_EQ(chunks.Results(),
              (std::vector<Outcome>{Outcome::kNoReply, Outcome::kNoReply}));
    EXPECT_EQ(report.failedChunks, 2);
    EXPECT_FALSE(report.Succeeded());
}

TEST(Download, ALateReplyFailsOnlyItsOwnChunk) {
    // Request 2's echo comes only after request 3 is sent, in front of its own.
    Bytes held;
    ScriptedLink link([&held](int index, const Bytes& request) {
        if (index == 2) {
            held = request;
            return Bytes{};
        }
        Bytes reply = index == 3 ? held : Bytes{};
        reply.insert(reply.end(), request.begin(), request.end());
        return reply;
    });
    RecordedChunks chunks;
    DownloadReport report = DownloadImage(Image(1024), link, LinkTimeouts{}, chunks);
    EXPECT_EQ(report.failedChunks, 1);
    EXPECT_EQ(chunks.outcomes[1].result, Outcome::kNoReply);
    EXPECT_EQ(chunks.outcomes[2].result, kEcho);
}

TEST(Download, RepliesSplitIntoSingleBytesPass) {
    ScriptedLink link(Echo);
    link.SplitInto(1);
    RecordedChunks chunks;
    EXPECT_TRUE(DownloadImage(Image(1024), link, LinkTimeouts{}, chunks).Succeeded());
}

TEST(Download, LostConnectionStopsTheDownload) {
    ScriptedLink link(
        [](int index, const Bytes& request) { return index < 3 ? request : Bytes{}; });
    link.CloseAfter(3);
    SendRun run = Send(Image(1024), link);
    EXPECT_TRUE(run.report.connectionLost);
    EXPECT_EQ(link.Requests().size(), 3u);
    EXPECT_EQ(run.log.Lines().end()[-3], "发送到384, 384, 10连接中断");
    EXPECT_EQ(run.log.Lines().end()[-2], "1个数据块发送失败");
    EXPECT_EQ(run.log.Lines().back(), "发送结束!!!!!");
    EXPECT_EQ(run.progress.positions.back(), 256u);
}

#ifndef _WIN32  // the Windows folders are platform_test's
TEST(DumpFile, DefaultDumpFileIsInTheUserDataFolder) {
    TempDir dir;
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_DATA_HOME", (dir.Path() + "/data").c_str(), 1);
    const DumpTarget found = DefaultDumpTarget();
    EXPECT_EQ(found.path, dir.Path() + "/data/kelvarin/a.dat");
    EXPECT_TRUE(found.usable);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "/data/kelvarin"));

    // Nowhere to put it: the place it would have gone, marked unusable.
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    const DumpTarget nowhere = DefaultDumpTarget();
    EXPECT_EQ(nowhere.path, "~/.local/share/kelvarin/a.dat");
    EXPECT_FALSE(nowhere.usable);
    setenv("HOME", savedHome.c_str(), 1);
}
#endif

}  // namespace
}  // namespace kelvarin
