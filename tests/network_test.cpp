// kelvarin-cli over the networks and devices the simulated device plays: a
// device that floods or trickles, a lossy link, a connection reset mid-image,
// a device that takes one request at a time, Ctrl+C, a fleet rerun that
// leaves current devices alone. Nothing may be reported as done that was not
// done, and no device may hold a send past its time-outs.
#include "child_process.h"
#include "device_process.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

namespace kelvarin {
namespace {

using test::ChildProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;
using Clock = std::chrono::steady_clock;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;

class Device : public test::DeviceProcess {
  public:
    explicit Device(const std::vector<std::string>& options = {})
        : DeviceProcess(kDevice, options) {}
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The lines of text.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// How often each image offset was written, from a trace's send lines.
std::map<std::size_t, int> WritesByOffset(const std::string& trace) {
    static const std::regex send(R"( send tid [0-9]+:(?: [0-9A-F]{2}){10} 00 (1[01]) ([0-9A-F]{2}) ([0-9A-F]{2}))");
    std::map<std::size_t, int> writes;
    for (const std::string& line : Lines(trace)) {
        std::smatch match;
        if (std::regex_search(line, match, send)) {
            const std::size_t file = std::stoul(match[1], nullptr, 16) - 0x10;
            const std::size_t record = std::stoul(match[2].str() + match[3].str(), nullptr, 16);
            ++writes[file * 65536 + record];
        }
    }
    return writes;
}

TEST(Network, AFloodingDeviceEndsASendWithinItsTimeOutsAndStallsNoOtherInAFleet) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 300);  // 4 chunks
    Device flooding({"--fault", "stream=1"});
    ASSERT_TRUE(flooding.Ready());
    const auto start = Clock::now();
    auto sent = RunProgram(
        {kCli, "send", "127.0.0.1", flooding.ModbusPortText(), page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_LT(SecondsSince(start), 3 * 0.2 + 1.0);  // three chunks' time-outs, and no more
    EXPECT_NE(sent.out.find("3个数据块发送失败"), std::string::npos) << sent.out;

    Device sound({"--count", "2"});
    ASSERT_TRUE(sound.Ready());
    const std::string second = sound.ReadLine();
    const std::string targets = dir.Write(
        "targets.txt", "127.0.0.1:" + flooding.ModbusPortText() + "\n127.0.0.1:" +
                           sound.ModbusPortText() + "\n127.0.0.1:" +
                           second.substr(second.find(':') + 1, second.find(' ', 7) - second.find(':') - 1) +
                           "\n");
    auto fleet = RunProgram({kCli, "fleet", "--targets", targets, page, "--dump",
                             dir.Path() + "/a.dat", "--json"});
    EXPECT_EQ(fleet.exitCode, 1);
    const std::regex entry(R"re("ok": (true|false), [^}]*"seconds": ([0-9.]+))re");
    std::vector<std::pair<bool, double>> results;
    for (auto it = std::sregex_iterator(fleet.out.begin(), fleet.out.end(), entry);
         it != std::sregex_iterator(); ++it) {
        results.push_back({(*it)[1] == "true", std::stod((*it)[2])});
    }
    ASSERT_EQ(results.size(), 3u) << fleet.out;
    EXPECT_FALSE(results[0].first);
    EXPECT_LT(results[0].second, 3 * 0.2 + 1.0);
    for (int k : {1, 2}) {
        EXPECT_TRUE(results[k].first);
        EXPECT_LT(results[k].second, 0.5);  // not held up by the flood
    }
}

TEST(Network, ATricklingReplyIsNoReplyNeverAWrongOne) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 300);
    Device trickling({"--fault", "trickle=3"});  // 144 bytes at 3 ms: 430 ms a reply
    auto sent = RunProgram({kCli, "send", "127.0.0.1", trickling.ModbusPortText(), page, "--dump",
                            dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_EQ(sent.out.find("返回失败"), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("发送到128, 128, 10无应答"), std::string::npos) << sent.out;
}

TEST(Network, OnALossyLinkTheDefaultFailsAndRetriesWithAReadBackHoldTheImage) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 20000);  // 157 chunks
    for (const std::string seed : {"11", "12", "13"}) {
        {
            Device lossy({"--loss", "2:" + seed});
            auto plain = RunProgram({kCli, "send", "127.0.0.1", lossy.ModbusPortText(), page,
                                     "--dump", dir.Path() + "/a.dat"});
            EXPECT_EQ(plain.exitCode, 1) << seed;
        }
        Device lossy({"--loss", "2:" + seed, "--image-out", dir.Path() + "/memory.bin"});
        auto retried = RunProgram({kCli, "send", "127.0.0.1", lossy.ModbusPortText(), page,
                                   "--dump", dir.Path() + "/a.dat", "--retries", "3", "--verify"});
        EXPECT_EQ(retried.exitCode, 0) << seed << retried.out;
        EXPECT_NE(retried.out.find("次重发"), std::string::npos) << seed;
        EXPECT_EQ(lossy.ReadLine(3000), "image " + dir.Path() + "/memory.bin");
        const std::string image = ReadAll(dir.Path() + "/a.dat");
        EXPECT_EQ(ReadAll(dir.Path() + "/memory.bin").substr(0, image.size()), image) << seed;
    }
}

TEST(Network, LongerTimeOutsServeASlowLinkAndADeviceSlowToTakeItsFirstWrite) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 300);  // 3 chunks
    const std::string dump = dir.Path() + "/a.dat";
    {
        // A 300 ms round trip: every reply misses the default 200 ms.
        Device far({"--latency", "150"});
        auto plain = RunProgram({kCli, "send", "127.0.0.1", far.ModbusPortText(), page, "--dump",
                                 dump});
        EXPECT_EQ(plain.exitCode, 1);
        EXPECT_NE(plain.out.find("发送到128, 128, 10无应答"), std::string::npos) << plain.out;
        auto patient = RunProgram({kCli, "send", "127.0.0.1", far.ModbusPortText(), page,
                                   "--dump", dump, "--timeout", "1000", "--verify"});
        EXPECT_EQ(patient.exitCode, 0) << patient.out;
    }
    {
        // The first reply of a connection 1000 ms late, as from a device
        // that prepares its memory first.
        Device slow({"--fault", "late=1:1000"});
        auto plain = RunProgram({kCli, "send", "127.0.0.1", slow.ModbusPortText(), page, "--dump",
                                 dump});
        EXPECT_EQ(plain.exitCode, 1);
        auto patient = RunProgram({kCli, "send", "127.0.0.1", slow.ModbusPortText(), page,
                                   "--dump", dump, "--first-timeout", "3000", "--window", "8"});
        EXPECT_EQ(patient.exitCode, 0) << patient.out;
    }
    for (const char* bad : {"0", "60001", "x"}) {
        EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", "502", page, "--timeout", bad}).exitCode, 2)
            << bad;
        EXPECT_EQ(
            RunProgram({kCli, "send", "127.0.0.1", "502", page, "--first-timeout", bad}).exitCode, 2)
            << bad;
    }
}

TEST(Network, AResetConnectionIsResumedWhereTheEchoesStopped) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 8000);  // 64 chunks
    const std::string trace = dir.Path() + "/trace.txt";
    // The device resets the connection on the 25th request of each.
    Device resetting({"--fault", "close-after=25", "--image-out", dir.Path() + "/memory.bin"});
    auto sent = RunProgram({kCli, "send", "127.0.0.1", resetting.ModbusPortText(), page,
                            "--dump", dir.Path() + "/a.dat", "--retries", "2", "--trace", trace});
    EXPECT_EQ(sent.exitCode, 0) << sent.out;
    EXPECT_NE(sent.out.find("连接中断，第1次重新连接"), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("重新连接成功，从中断处继续"), std::string::npos);
    // Every chunk written; only the one unanswered at each reset twice.
    const std::map<std::size_t, int> writes = WritesByOffset(ReadAll(trace));
    EXPECT_EQ(writes.size(), (ReadAll(dir.Path() + "/a.dat").size() + 127) / 128);
    int twice = 0;
    for (const auto& [offset, count] : writes) {
        EXPECT_LE(count, 2) << offset;
        twice += count == 2;
    }
    EXPECT_EQ(twice, 2);  // resets at requests 25 and 49
    // The device writes its memory out after each connection: the last one
    // holds the whole image.
    const std::string image = ReadAll(dir.Path() + "/a.dat");
    int saved = 0;
    while (resetting.ReadLine(saved < 3 ? 3000 : 300) == "image " + dir.Path() + "/memory.bin") {
        ++saved;
    }
    EXPECT_EQ(saved, 3);
    EXPECT_EQ(ReadAll(dir.Path() + "/memory.bin").substr(0, image.size()), image);
}

TEST(Network, ADeviceThatTakesOneRequestAtATimeGetsItsImageWithAutoWindow) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 30000);
    for (const std::string past : {"drop", "busy"}) {
        const std::string trace = dir.Path() + "/trace-" + past + ".txt";
        Device one({"--max-in-flight", "1", past, "--latency", "2"});
        auto sent = RunProgram({kCli, "send", "127.0.0.1", one.ModbusPortText(), page, "--dump",
                                dir.Path() + "/a.dat", "--window", "auto", "--chunk", "244",
                                "--retries", "3", "--verify", "--trace", trace});
        EXPECT_EQ(sent.exitCode, 0) << past << "\n" << sent.out;
        const std::string text = ReadAll(trace);
        EXPECT_NE(text.find(past == "drop" ? "note one request in flight from now on (no reply)"
                                           : "note one request in flight from now on (device busy)"),
                  std::string::npos)
            << past;
    }
}

TEST(Network, CtrlCStopsAfterWhatIsInFlightAndSaysWhatTheDeviceHolds) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 60000);  // 470 chunks, 15 ms each
    Device slow({"--fault", "delay=15", "--image-out", dir.Path() + "/memory.bin"});
    ChildProcess send({kCli, "send", "127.0.0.1", slow.ModbusPortText(), page, "--dump",
                       dir.Path() + "/a.dat"});
    std::string line;
    while ((line = send.ReadLine(5000)) != "开始发送" && !line.empty()) {
    }
    ASSERT_EQ(line, "开始发送");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    EXPECT_EQ(send.Stop(SIGINT), 130);
    EXPECT_LT(SecondsSince(start), 0.5);  // the request in flight, and no more
    std::string last;
    while (!(line = send.ReadLine(1000)).empty()) {
        last = line;
    }
    std::smatch said;
    ASSERT_TRUE(std::regex_match(
        last, said, std::regex("发送已中断：设备只收到了映像([0-9]+)字节中的前([0-9]+)字节，"
                               "现在保存的是不完整的映像")))
        << last;
    const std::size_t held = std::stoul(said[2]);
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, std::stoul(said[1]));
    // What it says is what the device holds.
    EXPECT_EQ(slow.ReadLine(3000), "image " + dir.Path() + "/memory.bin");
    EXPECT_EQ(ReadAll(dir.Path() + "/memory.bin").substr(0, held),
              ReadAll(dir.Path() + "/a.dat").substr(0, held));
}

TEST(Network, AFleetRerunLeavesDevicesThatHoldTheImageAlone) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 5000);
    Device first({"--image-out", dir.Path() + "/first.bin"});
    Device second;
    ASSERT_TRUE(first.Ready() && second.Ready());
    ASSERT_EQ(RunProgram({kCli, "send", "127.0.0.1", first.ModbusPortText(), page, "--dump",
                          dir.Path() + "/a.dat"})
                  .exitCode,
              0);
    ASSERT_EQ(first.ReadLine(3000), "image " + dir.Path() + "/first.bin");
    const std::string targets = dir.Write("targets.txt", "127.0.0.1:" + first.ModbusPortText() +
                                                             "\n127.0.0.1:" +
                                                             second.ModbusPortText() + "\n");
    auto fleet = RunProgram({kCli, "fleet", "--targets", targets, page, "--dump",
                             dir.Path() + "/a.dat", "--skip-current", "--verify"});
    EXPECT_EQ(fleet.exitCode, 0) << fleet.out;
    EXPECT_NE(fleet.out.find("127.0.0.1:" + first.ModbusPortText() + " 已保存此映像，未发送"),
              std::string::npos)
        << fleet.out;
    EXPECT_NE(fleet.out.find("127.0.0.1:" + second.ModbusPortText() + " 成功"), std::string::npos);
    // Nothing was written to the current one: it wrote no image out again.
    EXPECT_EQ(first.ReadLine(500), "");
}

TEST(Network, AFleetResumesResetConnectionsAndFallsBackPerDevice) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 12000);
    Device resetting({"--fault", "close-after=30", "--image-out", dir.Path() + "/reset.bin"});
    Device dropping({"--max-in-flight", "2", "drop", "--latency", "2"});
    Device lossy({"--loss", "3:5", "--latency", "1"});
    ASSERT_TRUE(resetting.Ready() && dropping.Ready() && lossy.Ready());
    const std::string targets =
        dir.Write("targets.txt", "127.0.0.1:" + resetting.ModbusPortText() + "\n127.0.0.1:" +
                                     dropping.ModbusPortText() + "\n127.0.0.1:" +
                                     lossy.ModbusPortText() + "\n");
    auto fleet = RunProgram({kCli, "fleet", "--targets", targets, page, "--dump",
                             dir.Path() + "/a.dat", "--window", "auto", "--retries", "3",
                             "--verify", "--json"});
    EXPECT_EQ(fleet.exitCode, 0) << fleet.out;
    EXPECT_EQ(fleet.out.find("\"ok\": false"), std::string::npos) << fleet.out;
    EXPECT_NE(fleet.out.find("\"reconnects\": 0,"), std::string::npos);
    EXPECT_EQ(fleet.out.find("\"retries\": 0, \"reconnects\": 0,"), std::string::npos)
        << "every device needed a retry";
}

}  // namespace
}  // namespace kelvarin
