// The transfer under every way a link misbehaves, on a pretend device with a
// clock of its own: requests in flight matched by transaction id, retries
// with their pauses, a reconnect that resumes, a flood and a trickle that are
// bounded by the reply time-out, a stop request, larger chunks.
#include "download.h"

#include "fake_link.h"
#include "modbus_frame.h"
#include "readback.h"
#include "test_support.h"
#include "wire_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace kelvarin {
namespace {

using test::Bytes;
using Ms = std::chrono::milliseconds;

// A device behind a link with a round trip of rttMs: it stores what it is
// written (so a read-back can follow) and echoes it, unless the test's hook
// says otherwise for the n-th request.
class EchoDevice : public test::FakeLink {
  public:
    enum class Act { kEcho, kDrop, kBusy, kClose };
    using Hook = std::function<Act(int n, const Bytes& request)>;

    explicit EchoDevice(int rttMs = 0, Hook hook = nullptr)
        : m_rttMs(rttMs), m_hook(std::move(hook)), m_memory(131072, 0xFF) {}

    // The most requests the device answers at once; past it, busy or dropped.
    void MaxInFlight(int most, bool drop) {
        m_maxInFlight = most;
        m_dropPastMax = drop;
    }

    const Bytes& Memory() const { return m_memory; }
    int mostInFlight = 0;  // the most requests that were out at once

  protected:
    void OnRequest(int n, const Bytes& request) override {
        // Requests out: those whose replies are still to come.
        std::erase_if(m_replyTimes, [&](auto at) { return at <= Now(); });
        const int out = static_cast<int>(m_replyTimes.size()) + 1;
        mostInFlight = std::max(mostInFlight, out);
        Act act = m_hook ? m_hook(n, request) : Act::kEcho;
        if (act == Act::kEcho && m_maxInFlight > 0 && out > m_maxInFlight) {
            act = m_dropPastMax ? Act::kDrop : Act::kBusy;
        }
        switch (act) {
            case Act::kDrop:
                return;
            case Act::kClose:
                CloseConnection();
                return;
            case Act::kBusy:
                Arrive({request[0], request[1], 0, 0, 0, 3, request[6],
                        static_cast<std::uint8_t>(request[7] | 0x80), 0x06},
                       m_rttMs);
                return;
            case Act::kEcho:
                break;
        }
        Arrive(Answer(request), m_rttMs);
        m_replyTimes.push_back(Now() + Ms(m_rttMs));
    }

  private:
    Bytes Answer(const Bytes& request) {
        if (request[modbus::kFunctionAt] == modbus::kWriteFileRecord) {
            const modbus::FilePosition at = modbus::RequestPosition(request.data());
            std::copy(request.begin() + modbus::kRecordDataAt, request.end(),
                      m_memory.begin() + static_cast<long>(modbus::OffsetOf(at.file, at.record)));
            return request;
        }
        // Read File Record: one or two sub-requests.
        Bytes reply(request.begin(), request.begin() + 8);
        Bytes data;
        for (std::size_t at = modbus::kSubRequestsAt; at < request.size(); at += 7) {
            const std::size_t offset = modbus::OffsetOf(
                static_cast<std::uint16_t>(request[at + 1] << 8 | request[at + 2]),
                static_cast<std::uint16_t>(request[at + 3] << 8 | request[at + 4]));
            const std::size_t bytes = 2 * std::size_t(request[at + 5] << 8 | request[at + 6]);
            data.push_back(static_cast<std::uint8_t>(1 + bytes));
            data.push_back(6);
            data.insert(data.end(), m_memory.begin() + static_cast<long>(offset),
                        m_memory.begin() + static_cast<long>(offset + bytes));
        }
        reply.push_back(static_cast<std::uint8_t>(data.size()));
        reply.insert(reply.end(), data.begin(), data.end());
        reply[5] = static_cast<std::uint8_t>(reply.size() - 6);
        return reply;
    }

    int m_rttMs;
    Hook m_hook;
    Bytes m_memory;
    std::vector<Clock::time_point> m_replyTimes;
    int m_maxInFlight = 0;
    bool m_dropPastMax = false;
};

// Everything a download tells: chunks and notices.
class Recorder : public DownloadObserver {
  public:
    void OnChunk(const ChunkOutcome& outcome) override { chunks.push_back(outcome); }
    void OnRetry(const RequestSpan& request, Result why, int retry, int /*pauseMs*/) override {
        retries.push_back({request.write ? request.offset + request.length : request.offset,
                           why.outcome, retry});
    }
    void OnReconnecting(int attempt, int /*pauseMs*/) override { reconnecting.push_back(attempt); }
    void OnReconnected() override { ++reconnected; }
    void OnWindowFallback(Outcome why) override { fallbacks.push_back(why); }

    struct Retry {
        std::size_t at;
        Outcome why;
        int retry;
    };
    std::vector<ChunkOutcome> chunks;
    std::vector<Retry> retries;
    std::vector<int> reconnecting;
    int reconnected = 0;
    std::vector<Outcome> fallbacks;

    int Failed() const {
        return static_cast<int>(std::count_if(chunks.begin(), chunks.end(), [](const auto& c) {
            return c.result != Outcome::kGood;
        }));
    }
};

Bytes Image(std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 11 + (i >> 8));
    }
    return image;
}

double MsSince(const test::FakeLink& link) {
    return std::chrono::duration<double, std::milli>(link.Now() - link.Start()).count();
}

std::uint16_t Tid(const Bytes& frame) {
    return modbus::TransactionOf(frame.data());
}

TransferOptions Options(int window, int retries = 0, bool autoWindow = false,
                        std::size_t chunk = kDefaultChunkBytes) {
    TransferOptions options;
    options.window = window;
    options.retries = retries;
    options.autoWindow = autoWindow;
    options.chunkBytes = chunk;
    return options;
}

TEST(Transfer, RequestsInFlightCarryTheirOwnIdsAndOverlap) {
    const Bytes image = Image(128 * 64);
    EchoDevice device(20);
    Recorder recorder;
    const DownloadReport report = DownloadImage(image, device, Options(8), recorder);
    EXPECT_TRUE(report.Succeeded());
    EXPECT_EQ(device.Memory(), [&] {
        Bytes memory(131072, 0xFF);
        std::copy(image.begin(), image.end(), memory.begin());
        return memory;
    }());
    // 64 chunks, 8 at a time over 20 ms: 8 round trips, not 64.
    EXPECT_EQ(device.mostInFlight, 8);
    EXPECT_LE(MsSince(device), 8 * 20 + 5);
    std::set<std::uint16_t> ids;
    for (const Bytes& request : device.Requests()) {
        ids.insert(Tid(request));
    }
    EXPECT_EQ(ids.size(), 64u);
    EXPECT_EQ(ids.count(0), 0u);
    // The default stays one in flight, every id 0.
    EchoDevice plain(20);
    EXPECT_TRUE(DownloadImage(image, plain, TransferOptions{}, recorder).Succeeded());
    EXPECT_EQ(plain.mostInFlight, 1);
    EXPECT_TRUE(std::all_of(plain.Requests().begin(), plain.Requests().end(),
                            [](const Bytes& r) { return Tid(r) == 0; }));
}

TEST(Transfer, RepliesAreMatchedByIdInAnyOrder) {
    // The device answers each pair of requests in reverse order.
    const Bytes image = Image(128 * 8);
    class Reversing : public test::FakeLink {
      protected:
        void OnRequest(int n, const Bytes& request) override {
            if (n % 2 == 1) {
                m_held = request;
                return;
            }
            Arrive(request, 5);
            Arrive(m_held, 5);
        }
        Bytes m_held;
    } device;
    Recorder recorder;
    EXPECT_TRUE(DownloadImage(image, device, Options(2), recorder).Succeeded());
    EXPECT_EQ(recorder.chunks.size(), 8u);
    EXPECT_TRUE(recorder.fallbacks.empty());
}

TEST(Transfer, AutoWindowGrowsAndFallsBackToOneForGood) {
    const Bytes image = Image(128 * 1000);
    // Request 40 gets no reply: the window drops to one for the rest.
    EchoDevice device(40, [](int n, const Bytes&) {
        return n == 40 ? EchoDevice::Act::kDrop : EchoDevice::Act::kEcho;
    });
    Recorder recorder;
    const DownloadReport report = DownloadImage(image, device, Options(1, 2, true), recorder);
    EXPECT_TRUE(report.Succeeded());
    EXPECT_EQ(device.mostInFlight, kMaxWindow);
    ASSERT_EQ(recorder.fallbacks.size(), 1u);
    EXPECT_EQ(recorder.fallbacks[0], Outcome::kNoReply);
    ASSERT_EQ(recorder.retries.size(), 1u);
    EXPECT_EQ(recorder.retries[0].retry, 1);
    // After the fall-back (request 40's time-out), one at a time: each
    // request goes only once its predecessor's reply is in.
    const auto fell = device.SentAt(39) + Ms(200);
    int after = 0;
    for (std::size_t i = 1; i < device.Requests().size(); ++i) {
        if (device.SentAt(i - 1) >= fell) {
            EXPECT_GE(device.SentAt(i) - device.SentAt(i - 1), Ms(40)) << i;
            ++after;
        }
    }
    EXPECT_GT(after, 100);
}

TEST(Transfer, RetriesSendAgainAfterGrowingPausesAndOnlyThenFail) {
    const Bytes image = Image(128 * 4);
    // Chunk 2 is never answered.
    EchoDevice device(0, [](int, const Bytes& request) {
        return modbus::RequestPosition(request.data()).record == 128 ? EchoDevice::Act::kDrop
                                                                     : EchoDevice::Act::kEcho;
    });
    Recorder recorder;
    const DownloadReport report = DownloadImage(image, device, Options(1, 3), recorder);
    EXPECT_EQ(report.failedChunks, 1);
    EXPECT_EQ(report.retries, 3);
    ASSERT_EQ(recorder.retries.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(recorder.retries[i].at, 256u);
        EXPECT_EQ(recorder.retries[i].why, Outcome::kNoReply);
        EXPECT_EQ(recorder.retries[i].retry, i + 1);
    }
    // 4 tries of 200 ms and pauses of 100, 200 and 400 ms before the retries.
    ASSERT_EQ(device.Requests().size(), 7u);
    EXPECT_GE(device.SentAt(2) - device.SentAt(1), Ms(300));
    EXPECT_GE(device.SentAt(3) - device.SentAt(2), Ms(400));
    EXPECT_GE(device.SentAt(4) - device.SentAt(3), Ms(600));
    EXPECT_EQ(recorder.chunks[1].result, Outcome::kNoReply);
    EXPECT_EQ(recorder.chunks[1].tries, 4);
    // The same requests, byte for byte: retries change nothing on the wire.
    EXPECT_EQ(device.Requests()[1], device.Requests()[3]);

    // One lost reply, then an answer: no failure at all.
    int drops = 1;
    EchoDevice once(0, [&drops](int, const Bytes&) {
        return drops-- > 0 ? EchoDevice::Act::kDrop : EchoDevice::Act::kEcho;
    });
    Recorder again;
    EXPECT_TRUE(DownloadImage(image, once, Options(1, 1), again).Succeeded());
    EXPECT_EQ(again.chunks[0].tries, 2);
}

TEST(Transfer, ALostConnectionIsResumedWhereTheEchoesStopped) {
    const Bytes image = Image(128 * 50);
    // The device resets the connection on the 20th request of each connection.
    class Resetting : public EchoDevice {
      public:
        Resetting() : EchoDevice(5, [this](int, const Bytes&) {
            return ++m_onThis == 20 ? Act::kClose : Act::kEcho;
        }) {}

      protected:
        void OnReconnect() override { m_onThis = 0; }
        int m_onThis = 0;
    } device;
    Recorder recorder;
    const DownloadReport report = DownloadImage(image, device, Options(4, 3), recorder);
    EXPECT_TRUE(report.Succeeded());
    EXPECT_GE(report.reconnects, 2);
    EXPECT_EQ(recorder.reconnected, report.reconnects);
    EXPECT_EQ(Bytes(device.Memory().begin(), device.Memory().begin() + 128 * 50), image);
    // Nothing echoed was sent again: at most the requests out at a reset.
    std::map<std::size_t, int> sends;
    for (const Bytes& request : device.Requests()) {
        const auto at = modbus::RequestPosition(request.data());
        ++sends[modbus::OffsetOf(at.file, at.record)];
    }
    int resent = 0;
    for (const auto& [offset, count] : sends) {
        resent += count - 1;
    }
    EXPECT_LE(resent, 4 * report.reconnects);

    // Without retries the default stops at the loss; with reconnects refused
    // the download gives up after its tries.
    EchoDevice closing(0, [](int n, const Bytes&) {
        return n == 3 ? EchoDevice::Act::kClose : EchoDevice::Act::kEcho;
    });
    Recorder stopped;
    EXPECT_TRUE(DownloadImage(image, closing, TransferOptions{}, stopped).connectionLost);
    EXPECT_EQ(closing.reconnects, 0);
    EchoDevice dead(0, [](int n, const Bytes&) {
        return n == 3 ? EchoDevice::Act::kClose : EchoDevice::Act::kEcho;
    });
    dead.RefuseReconnects(100);
    Recorder gaveUp;
    const DownloadReport lost = DownloadImage(image, dead, Options(1, 2), gaveUp);
    EXPECT_TRUE(lost.connectionLost);
    EXPECT_EQ(dead.reconnects, 2);
    EXPECT_EQ(gaveUp.reconnecting, (std::vector<int>{1, 2}));
    EXPECT_EQ(gaveUp.chunks.back().result, Outcome::kConnectionLost);
}

TEST(Transfer, ABusyOrDroppingDeviceGetsOneRequestAtATime) {
    const Bytes image = Image(128 * 100);
    for (const bool drop : {false, true}) {
        EchoDevice device(10);
        device.MaxInFlight(1, drop);
        Recorder recorder;
        const DownloadReport report = DownloadImage(image, device, Options(1, 3, true), recorder);
        EXPECT_TRUE(report.Succeeded()) << drop;
        ASSERT_EQ(recorder.fallbacks.size(), 1u) << drop;
        EXPECT_EQ(recorder.fallbacks[0], drop ? Outcome::kNoReply : Outcome::kBusy);
        EXPECT_EQ(Bytes(device.Memory().begin(), device.Memory().begin() + 12800), image);
    }
}

TEST(Transfer, AFloodingDeviceCostsEachChunkItsTimeOutAndNoMore) {
    // The device echoes the first request, then copies of that echo without
    // end: every read finds more.
    class Flooding : public test::FakeLink {
      public:
        net::IoResult Read(void* buffer, std::size_t length) override {
            if (Requests().size() >= 2) {
                ++reads;
                Idle(1);  // a reply's worth of bytes takes a little while
                const Bytes& echo = Requests()[0];
                const std::size_t n = std::min(length, echo.size());
                std::copy_n(echo.begin(), n, static_cast<std::uint8_t*>(buffer));
                return {net::Status::kOk, n};
            }
            return FakeLink::Read(buffer, length);
        }
        net::Status Wait(bool read, bool write, int ms) override {
            return Requests().size() >= 2 ? net::Status::kOk : FakeLink::Wait(read, write, ms);
        }
        int reads = 0;

      protected:
        void OnRequest(int n, const Bytes& request) override {
            if (n == 1) {
                Arrive(request);
            }
        }
    } device;
    Recorder recorder;
    const DownloadReport report = DownloadImage(Image(128 * 10), device, TransferOptions{}, recorder);
    EXPECT_EQ(report.failedChunks, 9);
    EXPECT_EQ(recorder.chunks[0].result, Outcome::kGood);
    for (std::size_t i = 1; i < recorder.chunks.size(); ++i) {
        EXPECT_EQ(recorder.chunks[i].result, Outcome::kNoReply) << i;
    }
    // Nine time-outs of 200 ms, each over within a read of its deadline.
    EXPECT_LE(MsSince(device), 9 * 200 + 9 * 2 + 5);
}

TEST(Transfer, AReplyThatTricklesPastItsDeadlineIsNoReplyAndFailsNothingElse) {
    // The second reply comes a byte every 2 ms (288 ms in all); the others at once.
    class Trickling : public test::FakeLink {
      protected:
        void OnRequest(int n, const Bytes& request) override {
            Arrive(request, 0, n == 2 ? 1 : 0, n == 2 ? 2 : 0);
        }
    } device;
    Recorder recorder;
    const DownloadReport report = DownloadImage(Image(128 * 5), device, TransferOptions{}, recorder);
    ASSERT_EQ(recorder.chunks.size(), 5u);
    EXPECT_EQ(recorder.chunks[1].result, Outcome::kNoReply);
    EXPECT_EQ(report.failedChunks, 1);
}

TEST(Transfer, AFirstReplyTimeOutWaitsOutASlowFirstWriteWithNothingElseInFlight) {
    // The first write is echoed after 1500 ms (the device prepares its
    // memory), every other after 10 ms.
    class SlowFirst : public test::FakeLink {
      public:
        Clock::time_point firstAt{}, secondAt{};

      protected:
        void OnRequest(int n, const Bytes& request) override {
            if (n == 1) {
                firstAt = Now();
            } else if (n == 2) {
                secondAt = Now();
            }
            Arrive(request, n == 1 ? 1500 : 10);
        }
    };
    const Bytes image = Image(128 * 20);
    {
        SlowFirst device;
        Recorder recorder;
        const DownloadReport report = DownloadImage(image, device, TransferOptions{}, recorder);
        // The echoes behind the slow one come too late as well.
        EXPECT_EQ(recorder.chunks[0].result, Outcome::kNoReply);
        EXPECT_EQ(report.failedChunks, 7);
    }
    for (const int window : {1, 8}) {
        SlowFirst device;
        TransferOptions options = Options(window);
        options.firstReplyMs = 2000;
        Recorder recorder;
        const DownloadReport report = DownloadImage(image, device, options, recorder);
        EXPECT_TRUE(report.Succeeded()) << window;
        // Nothing else went out before the first echo; then the window opened.
        EXPECT_GE(device.secondAt - device.firstAt, Ms(1500)) << window;
        EXPECT_EQ(device.Requests().size(), 20u) << window;
    }
}

TEST(Transfer, ASecondDownloadOnOneLinkSetsALateReplyAside) {
    // The last reply of the first download comes late, as does an exception
    // reply (which no position check could tell from a wrong answer).
    const Bytes image = Image(128 * 3);
    class Late : public test::FakeLink {
      protected:
        void OnRequest(int n, const Bytes& request) override {
            if (n == 3 || n == 9) {
                Arrive(request, 300);
                Arrive({request[0], request[1], 0, 0, 0, 3, 0, 0x95, 0x04}, 0);
                return;
            }
            Arrive(request);
        }
    } device;
    Recorder first;
    EXPECT_EQ(DownloadImage(image, device, TransferOptions{}, first).failedChunks, 1);
    device.Idle(500);  // the late echo is in by now, unread
    Recorder second;
    EXPECT_TRUE(DownloadImage(image, device, TransferOptions{}, second).Succeeded());

    // With ids of their own: what is drained before the first request is
    // set aside and costs the connection none of its requests in flight.
    Recorder third;
    EXPECT_EQ(DownloadImage(image, device, Options(4), third).failedChunks, 1);
    device.Idle(500);
    Recorder fourth;
    EXPECT_TRUE(DownloadImage(image, device, Options(4), fourth).Succeeded());
    EXPECT_TRUE(fourth.fallbacks.empty());
}

TEST(Transfer, AStopSendsNothingMoreAndWaitsForWhatIsOut) {
    const Bytes image = Image(128 * 40);
    std::atomic<bool> stop{false};
    EchoDevice device(10, [&stop](int n, const Bytes&) {
        if (n == 12) {
            stop = true;
        }
        return EchoDevice::Act::kEcho;
    });
    Recorder recorder;
    const DownloadReport report =
        DownloadImage(image, device, Options(4), recorder, nullptr, &stop);
    EXPECT_TRUE(report.stopped);
    EXPECT_FALSE(report.Succeeded());
    EXPECT_EQ(device.Requests().size(), 12u);
    EXPECT_EQ(recorder.chunks.size(), 12u);  // every request out was answered
    EXPECT_EQ(report.echoedPrefix, 12u * 128);
    EXPECT_EQ(report.requestsSent, 12);
}

TEST(Transfer, AStopDoesNotWaitOutAReconnectThatIsNotAnswered) {
    const Bytes image = Image(128 * 40);
    std::atomic<bool> stop{false};
    // The device drops the connection at the 5th request and never answers
    // the connect that follows; the operator stops while it is under way.
    class Hanging : public EchoDevice {
      public:
        explicit Hanging(std::atomic<bool>& flag)
            : EchoDevice(0, [](int n, const Bytes&) { return n == 5 ? Act::kClose : Act::kEcho; }),
              m_flag(flag) {
            HangReconnects();
        }
        net::Status StartConnect() override {
            startedAt = Now();
            m_flag = true;
            return EchoDevice::StartConnect();
        }
        Clock::time_point startedAt{};

      private:
        std::atomic<bool>& m_flag;
    } device(stop);
    Recorder recorder;
    TransferOptions options = Options(1, 3);
    options.timeouts.connectMs = 60000;
    const DownloadReport report = DownloadImage(image, device, options, recorder, nullptr, &stop);
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(device.reconnects, 1);
    // Over at the first look at the stop, not after the connect's minute.
    const double afterConnect =
        std::chrono::duration<double, std::milli>(device.Now() - device.startedAt).count();
    EXPECT_LE(afterConnect, 50.0);
}

TEST(Transfer, LargerChunksStopAtTheFilesBorder) {
    const Bytes image = Image(131072);
    EchoDevice device;
    Recorder recorder;
    const DownloadReport report =
        DownloadImage(image, device, Options(16, 0, false, kLargestChunkBytes), recorder);
    EXPECT_TRUE(report.Succeeded());
    EXPECT_EQ(device.Memory(), image);
    // 65536 = 268 x 244 + 144, in each file.
    EXPECT_EQ(report.chunks, 2 * 269);
    for (const Bytes& request : device.Requests()) {
        const auto at = modbus::RequestPosition(request.data());
        EXPECT_LE(at.record + request.size() - modbus::kRecordDataAt, modbus::kPageSize);
        EXPECT_LE(request.size(), modbus::kMbapPrefix + modbus::kMaxMbapLength);
    }
}

TEST(Transfer, ReadBackWithRequestsInFlightAndRetries) {
    const Bytes image = Image(20000);
    int dropped = 0;
    EchoDevice device(10, [&dropped](int, const Bytes& request) {
        // One read in ten is lost once.
        if (request[modbus::kFunctionAt] == modbus::kReadFileRecord && Tid(request) % 10 == 3 &&
            dropped < 5) {
            ++dropped;
            return EchoDevice::Act::kDrop;
        }
        return EchoDevice::Act::kEcho;
    });
    Recorder recorder;
    ASSERT_TRUE(DownloadImage(image, device, Options(8), recorder).Succeeded());
    const VerifyReport report = VerifyImage(image, device, Options(8, 2), &recorder);
    EXPECT_EQ(report.outcome, VerifyOutcome::kEqual);
    EXPECT_EQ(dropped, 5);
    EXPECT_EQ(recorder.retries.size(), 5u);
}

TEST(WireTrace, EveryFrameOnALineWithItsId) {
    test::TempDir dir;
    WireTrace trace;
    ASSERT_TRUE(trace.Open(dir.Path() + "/trace.txt"));
    EchoDevice device(0, [](int n, const Bytes&) {
        return n == 2 ? EchoDevice::Act::kDrop : EchoDevice::Act::kEcho;
    });
    Recorder recorder;
    DownloadImage(Image(256), device, Options(2, 1), recorder, &trace);
    const std::string text = test::ReadAll(dir.Path() + "/trace.txt");
    EXPECT_NE(text.find(" send tid 1: 00 01 00 00 00 8A 00 15 87 06 00 10 00 00 00 40 "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" recv tid 1: 00 01 00 00"), std::string::npos);
    EXPECT_NE(text.find("note one request in flight from now on (no reply)"), std::string::npos);
    EXPECT_NE(text.find(" send tid 3: "), std::string::npos);  // the retry, a new id
}

}  // namespace
}  // namespace kelvarin
