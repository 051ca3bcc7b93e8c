// kelvarin-cli send against kelvarin-device, end to end: the image arrives
// intact and is served, and each of the device's fault modes is reported.
#include "child_process.h"
#include "device_process.h"
#include "image_reader.h"
#include "loopback_client.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

namespace kelvarin {
namespace {

using test::ChildProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;

// kelvarin-device on free loopback ports, stopped when the object goes away.
class Device : public test::DeviceProcess {
  public:
    explicit Device(const std::vector<std::string>& options = {})
        : DeviceProcess(kDevice, options) {}
    std::string ModbusPort() const { return ModbusPortText(); }
};

// The whole answer of an HTTP GET for path on 127.0.0.1:port.
std::string HttpGet(int port, const std::string& path) {
    test::LoopbackClient client(port);
    client.Send("GET " + path + " HTTP/1.1\r\nHost: device\r\n\r\n");
    return client.ReceiveAll();
}

// A device that records the bytes on the wire: accepts one connection on a
// free loopback port, splits what arrives into frames by the MBAP length,
// keeps and echoes each, until the client closes (or 10 s pass).
class RecordingDevice {
  public:
    RecordingDevice() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 4);
        socklen_t size = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~RecordingDevice() {
        Join();
        ::close(m_listener);
    }
    std::string Port() const { return std::to_string(m_port); }
    // The frames received, once the client has closed.
    const std::vector<std::string>& Frames() {
        Join();
        return m_frames;
    }

  private:
    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    void Serve() {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 10000) != 1) {
            return;
        }
        int fd = ::accept(m_listener, nullptr, nullptr);
        std::string pending;
        char buffer[4096];
        for (;;) {
            pollfd input{fd, POLLIN, 0};
            ssize_t got = ::poll(&input, 1, 10000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : 0;
            if (got <= 0) {
                break;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            while (pending.size() >= 6) {
                std::size_t total = 6 + (static_cast<std::uint8_t>(pending[4]) << 8 |
                                         static_cast<std::uint8_t>(pending[5]));
                if (pending.size() < total) {
                    break;
                }
                m_frames.push_back(pending.substr(0, total));
                ::send(fd, pending.data(), total, MSG_NOSIGNAL);
                pending.erase(0, total);
            }
        }
        ::close(fd);
    }

    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_frames;
};

std::string Hex(std::string_view bytes) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", static_cast<std::uint8_t>(bytes[i]));
        text += byte;
    }
    return text;
}

TEST(Send, FramesOnTheWireAreExact) {
    TempDir dir;
    {
        RecordingDevice device;
        auto sent = RunProgram({kCli, "send", "127.0.0.1", device.Port(),
                                dir.WriteSized("index.htm", 100), "--dump", dir.Path() + "/a.dat"});
        ASSERT_EQ(sent.exitCode, 0) << sent.out;
        const std::string image = ReadAll(dir.Path() + "/a.dat");
        ASSERT_EQ(image.size(), 192u);
        const auto& frames = device.Frames();
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(Hex(frames[0].substr(0, 16)), "00 00 00 00 00 8A 00 15 87 06 00 10 00 00 00 40");
        EXPECT_EQ(Hex(frames[1].substr(0, 16)), "00 00 00 00 00 4A 00 15 47 06 00 10 00 80 00 20");
        EXPECT_TRUE(frames[0].substr(16) == image.substr(0, 128));
        EXPECT_TRUE(frames[1].substr(16) == image.substr(128));
    }
    {
        // "/a.bin": contents at 99, + 65437 -> 65536: an image of 65536 + 4 bytes.
        RecordingDevice device;
        auto sent = RunProgram({kCli, "send", "127.0.0.1", device.Port(),
                                dir.WriteSized("a.bin", 65437), "--dump", dir.Path() + "/b.dat"});
        ASSERT_EQ(sent.exitCode, 0) << sent.out;
        const auto& frames = device.Frames();
        ASSERT_EQ(frames.size(), 513u);
        EXPECT_EQ(Hex(frames[512]), "00 00 00 00 00 0E 00 15 0B 06 00 11 00 00 00 02 FF FF FF FF");
        EXPECT_EQ(Hex(frames[511].substr(10, 6)), "00 10 FF 80 00 40");
    }
    {
        // --unit 7: byte 6 of every request, the frames otherwise the same.
        RecordingDevice device;
        auto sent = RunProgram({kCli, "send", "127.0.0.1", device.Port(), "--unit", "7",
                                dir.WriteSized("index.htm", 100), "--dump", dir.Path() + "/c.dat"});
        ASSERT_EQ(sent.exitCode, 0) << sent.out;
        const auto& frames = device.Frames();
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(Hex(frames[0].substr(0, 16)), "00 00 00 00 00 8A 07 15 87 06 00 10 00 00 00 40");
        EXPECT_EQ(Hex(frames[1].substr(0, 16)), "00 00 00 00 00 4A 07 15 47 06 00 10 00 80 00 20");
    }
}

TEST(Send, FullImageArrivesIntactAndIsServed) {
    TempDir dir;
    const std::string stored = dir.Path() + "/stored.bin";
    Device device({"--image-out", stored});
    // Three files that fill the 131072 bytes exactly: "/index.htm" contents
    // at 88, + 3000 -> next record at 3092; "/b.png" contents at 3191,
    // + 60000 -> 63192; "/c.js" contents at 63291, + 67777 -> 131068 -> 131072.
    std::vector<std::string> files = {dir.WriteSized("index.htm", 3000, 1),
                                      dir.WriteSized("b.png", 60000, 2),
                                      dir.WriteSized("c.js", 67777, 3)};
    std::vector<std::string> argv = {kCli, "send", "127.0.0.1", device.ModbusPort()};
    argv.insert(argv.end(), files.begin(), files.end());
    argv.insert(argv.end(), {"--dump", dir.Path() + "/a.dat"});
    auto sent = RunProgram(argv);
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_EQ(sent.out, "127.0.0.1:" + device.ModbusPort() +
                            " 连接成功\n正在打包\n打包完成\n开始发送\n发送结束!!!!!\n");

    ASSERT_EQ(device.Process().ReadLine(), "image " + stored);
    std::string image = ReadAll(dir.Path() + "/a.dat");
    ASSERT_EQ(image.size(), kImageCapacity);
    EXPECT_TRUE(ReadAll(stored) == image) << "the device holds other bytes than were packed";

    ImageWalk walk = ReadImage(image);
    ASSERT_TRUE(walk.ok);
    ASSERT_EQ(walk.records.size(), 3u);
    for (const ImageRecord& record : walk.records) {
        EXPECT_TRUE(HttpGet(device.HttpPort(), std::string(record.path)) == record.response)
            << record.path;
    }
    EXPECT_TRUE(HttpGet(device.HttpPort(), "/") == walk.records[0].response);
    EXPECT_EQ(HttpGet(device.HttpPort(), "/missing.htm").rfind("HTTP/1.1 404", 0), 0u);
}

struct FaultCase {
    std::string mode;
    int exitCode;
    std::vector<std::string> lines;  // the lines after "开始发送"
};

TEST(Send, EachFaultModeIsReportedNeverAsSuccess) {
    // A 1000-byte file packs to a 1104-byte image: 9 chunks, the last of 80 bytes.
    const std::vector<FaultCase> cases = {
        {"delay=30", 0, {"发送结束!!!!!"}},
        {"split", 0, {"发送结束!!!!!"}},
        {"exception",
         1,
         {"发送到128, 128, 10返回失败", "发送到256, 256, 10返回失败", "发送到384, 384, 10返回失败",
          "发送到512, 512, 10返回失败", "发送到640, 640, 10返回失败", "发送到768, 768, 10返回失败",
          "发送到896, 896, 10返回失败", "发送到1024, 1024, 10返回失败",
          "发送到1104, 1104, 10返回失败", "9个数据块发送失败", "发送结束!!!!!"}},
        {"late=3:350", 1, {"发送到384, 384, 10无应答", "1个数据块发送失败", "发送结束!!!!!"}},
        {"corrupt=2", 1, {"发送到256, 256, 10返回失败", "1个数据块发送失败", "发送结束!!!!!"}},
        {"close-after=4", 1, {"发送到512, 512, 10连接中断", "1个数据块发送失败", "发送结束!!!!!"}},
    };
    TempDir dir;
    const std::string file = dir.WriteSized("page.bin", 1000);
    for (const FaultCase& c : cases) {
        Device device({"--fault", c.mode});
        auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), file, "--dump",
                                dir.Path() + "/a.dat"});
        EXPECT_EQ(sent.exitCode, c.exitCode) << c.mode;
        std::string expected;
        for (const std::string& line : c.lines) {
            expected += line + "\n";
        }
        std::size_t start = sent.out.find("开始发送\n");
        ASSERT_NE(start, std::string::npos) << c.mode << ": " << sent.out;
        EXPECT_EQ(sent.out.substr(start + std::string("开始发送\n").size()), expected) << c.mode;
    }
}

TEST(Send, SilentDeviceCostsATimeOutPerChunk) {
    TempDir dir;
    Device device({"--fault", "silent"});
    auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(),
                            dir.WriteSized("index.htm", 100), "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_NE(
        sent.out.find("发送到128, 128, 10无应答\n发送到192, 192, 10无应答\n2个数据块发送失败\n"),
        std::string::npos)
        << sent.out;
}

// Opens count connections to port, each sending junk (if any) and closing.
void Flood(int port, int count, const std::string& junk) {
    for (int i = 0; i < count; ++i) {
        test::LoopbackClient client(port);
        if (!junk.empty()) {
            client.Send(junk);
        }
    }
}

TEST(Send, FloodsAndGarbageOnBothPortsDoNotStopADownload) {
    TempDir dir;
    Device device;
    const int modbus = std::atoi(device.ModbusPort().c_str());
    std::string junk(3000, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>(i * 7 + 3);
    }
    Flood(modbus, 300, "");
    Flood(modbus, 100, junk);
    Flood(device.HttpPort(), 300, "");
    Flood(device.HttpPort(), 100, junk);
    Flood(device.HttpPort(), 20, "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n");

    auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(),
                            dir.WriteSized("index.htm", 5000), "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 0) << sent.out;
    EXPECT_EQ(HttpGet(device.HttpPort(), "/").rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST(Send, ConnectionAndUsageFailures) {
    TempDir dir;
    std::string file = dir.Write("a.htm", "x");
    int freePort = 0;
    {
        Device device;  // its port is free again once it has stopped
        freePort = std::atoi(device.ModbusPort().c_str());
    }
    auto refused = RunProgram({kCli, "send", "127.0.0.1", std::to_string(freePort), file});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_EQ(refused.out, "127.0.0.1:" + std::to_string(freePort) + " 连接失败\n");
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", "70000", file}).exitCode, 2);
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", "502abc", file}).exitCode, 2);
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1"}).exitCode, 2);

    // An address that names no device is not connected to, even where a
    // connect to 0.0.0.0 would reach a device on this machine.
    Device device;
    for (const std::string& address : {std::string("0.0.0.0"), std::string()}) {
        auto nowhere = RunProgram({kCli, "send", address, device.ModbusPort(), file});
        EXPECT_EQ(nowhere.exitCode, 3) << address;
        EXPECT_EQ(nowhere.out, address + ":" + device.ModbusPort() + " 连接失败\n");
    }
}

TEST(Send, AZeroPaddedAddressReachesTheDeviceItNames) {
    TempDir dir;
    test::LookAlikeDevices devices(kDevice, dir.Path());
    ASSERT_TRUE(devices.Ready());
    const std::string port = std::to_string(devices.Port());
    const std::string page = dir.Write("index.htm", "<p>ten</p>");
    auto sent =
        RunProgram({kCli, "send", "127.000.000.010", port, page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_EQ(sent.out.substr(0, sent.out.find('\n')), "127.0.0.10:" + port + " 连接成功");
    EXPECT_EQ(devices.Ten().ReadLine(), "image " + devices.TenImage());
    const std::string dump = ReadAll(dir.Path() + "/a.dat");
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(ReadAll(devices.TenImage()).substr(0, dump.size()), dump);
    EXPECT_EQ(ReadAll(devices.EightImage()), "");  // never reached

    // Digits and dots that are not four decimal fields are refused before
    // anything is sent, never handed to the resolver (which reads "127.10"
    // as 127.0.0.10 and "0x7f.1" as 127.0.0.1).
    for (const std::string address : {"127.10", "127.0.0.0010", "0x7f.0.0.10", "127.0.0.10."}) {
        auto refused =
            RunProgram({kCli, "send", address, port, page, "--dump", dir.Path() + "/b.dat"});
        EXPECT_EQ(refused.exitCode, 2) << address;
        EXPECT_NE(refused.err.find(address + " is not an IPv4 address"), std::string::npos)
            << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    auto verify = RunProgram({kCli, "verify", "127.000.000.010", port, page});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
}

TEST(Send, VerifyTellsHeldDifferentAndUnreadableApart) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 1000);  // 1092 bytes: 9 chunks, 5 reads
    struct Case {
        std::vector<std::string> fault;
        int sendExit;
        int verifyExit;
        std::string lastLine;
    };
    const std::vector<Case> cases = {
        {{}, 0, 0, "校验通过，设备中的1092字节与映像相同"},
        {{"--fault", "flip-store=3"}, 1, 1, "校验失败，1个字节不同，第一个在偏移256"},
        {{"--fault", "no-read"}, 4, 4, "下载已成功，但设备不能回读，未校验"},
        {{"--fault", "exception"}, 1, 4, "发送结束!!!!!"},  // a failed download is not read back
    };
    for (const Case& c : cases) {
        Device device(c.fault);
        auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), page, "--verify",
                                "--dump", dir.Path() + "/a.dat"});
        EXPECT_EQ(sent.exitCode, c.sendExit) << sent.out;
        EXPECT_TRUE(sent.out.ends_with(c.lastLine + "\n")) << sent.out;
        // verify alone compares what the device holds after that send.
        auto verified = RunProgram({kCli, "verify", "127.0.0.1", device.ModbusPort(), page});
        EXPECT_EQ(verified.exitCode, c.verifyExit) << verified.out;
    }
    Device fresh;  // holds nothing yet: every byte differs but the fill ones
    auto different = RunProgram(
        {kCli, "verify", "127.0.0.1", fresh.ModbusPort(), "--image", dir.Path() + "/a.dat"});
    EXPECT_EQ(different.exitCode, 1);
    EXPECT_NE(different.out.find("校验失败"), std::string::npos) << different.out;
    EXPECT_NE(different.out.find("第一个在偏移0"), std::string::npos) << different.out;

    const int freePort = test::DeviceProcess(kDevice).ModbusPort();  // stopped again at once
    EXPECT_EQ(RunProgram({kCli, "verify", "127.0.0.1", std::to_string(freePort), page}).exitCode,
              3);
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", std::to_string(freePort), page, "--verify"})
                  .exitCode,
              3);
}

TEST(Send, AnOverflowingSiteServesItsIndexOrWithAllOrNothingNothingIsSent) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site/_static");
    dir.WriteSized("site/_static/theme.css", 70000, 1);
    dir.WriteSized("site/_static/search.js", 70000, 2);
    const std::string index = dir.Write("site/index.html", "<!DOCTYPE html><h1>Contents</h1>");
    const std::string site = dir.Path() + "/site";
    const std::string dump = dir.Path() + "/a.dat";

    // All or nothing: refused before connecting, so not even a device that
    // is not there is tried (exit 1, not 3), and no dump is written.
    const int freePort = test::DeviceProcess(kDevice).ModbusPort();
    auto refused = RunProgram({kCli, "send", "127.0.0.1", std::to_string(freePort), "--site", site,
                               "--all-or-nothing", "--dump", dump});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out.find("连接"), std::string::npos) << refused.out;
    EXPECT_TRUE(refused.out.ends_with("全部装下才发送：1个文件不能打包，什么也没有发送\n"))
        << refused.out;
    EXPECT_FALSE(std::filesystem::exists(dump));
    Device device;
    auto verified = RunProgram({kCli, "verify", "127.0.0.1", device.ModbusPort(), "--site", site,
                                "--all-or-nothing"});
    EXPECT_EQ(verified.exitCode, 1);
    EXPECT_TRUE(verified.out.ends_with("什么也没有发送\n")) << verified.out;

    // Without it the site's own page is packed first, so the device serves it.
    auto sent = RunProgram(
        {kCli, "send", "127.0.0.1", device.ModbusPort(), "--site", site, "--dump", dump});
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_NE(sent.out.find("/_static/theme.css文件不被打包"), std::string::npos) << sent.out;
    const std::string page = HttpGet(device.HttpPort(), "/");
    EXPECT_TRUE(page.ends_with("<h1>Contents</h1>")) << page;
}

TEST(Send, VerifyOfAPartialSiteOrOfNoImageIsNoSuccess) {
    TempDir dir;
    Device device;
    const std::string page = dir.WriteSized("index.htm", 500);
    const std::string missing = dir.Path() + "/missing.css";
    ASSERT_EQ(RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), page, "--dump",
                          dir.Path() + "/a.dat"})
                  .exitCode,
              0);

    // The device holds what could be packed, but the site lacks a file: 1,
    // as send says for the same files.
    auto partial = RunProgram({kCli, "verify", "127.0.0.1", device.ModbusPort(), page, missing});
    EXPECT_EQ(partial.exitCode, 1) << partial.out;
    EXPECT_NE(partial.out.find("校验通过"), std::string::npos) << partial.out;
    EXPECT_EQ(partial.out.substr(partial.out.rfind('\n', partial.out.size() - 2) + 1),
              "1个文件未打包，校验的映像不完整\n");

    // Nothing packed: nothing to compare, and the device is not asked.
    auto nothing = RunProgram({kCli, "verify", "127.0.0.1", device.ModbusPort(), missing});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_EQ(nothing.out,
              "正在打包\n" + missing + "打开失败\n打包完成\n没有文件被打包，无可校验\n");
    auto empty = RunProgram(
        {kCli, "verify", "127.0.0.1", device.ModbusPort(), "--image", dir.Write("e.img", "")});
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_NE(empty.err.find("不含任何记录"), std::string::npos) << empty.err;
}

TEST(Send, ADeviceStartedWithAPackedImageServesWhatASendWould) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site/css");
    dir.Write("site/index.htm", "<!DOCTYPE html><link rel=stylesheet href=css/a.css><p>hi");
    dir.Write("site/css/a.css", "p { color: teal }");
    const std::string image = dir.Path() + "/site.img";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, "--site", dir.Path() + "/site",
                          "--content-types", "--gzip"})
                  .exitCode,
              0);
    Device loaded({"--load", image});
    Device sent;
    ASSERT_EQ(RunProgram({kCli, "send", "127.0.0.1", sent.ModbusPort(), "--image", image, "--dump",
                          dir.Path() + "/a.dat"})
                  .exitCode,
              0);
    for (const char* path : {"/", "/css/a.css", "/css", "/missing"}) {
        EXPECT_EQ(HttpGet(loaded.HttpPort(), path), HttpGet(sent.HttpPort(), path)) << path;
    }
    EXPECT_NE(HttpGet(loaded.HttpPort(), "/css/a.css").find("Content-type: text/css"),
              std::string::npos);

    // An image send --image would refuse is refused, with the same words.
    std::string broken = ReadAll(image);
    broken[28] = 0x00;  // the first record's next address points to itself
    broken[29] = 0x00;
    broken[30] = 0x12;
    broken[31] = 0x00;
    for (const std::string& bad : {dir.Write("broken.img", broken), dir.Path() + "/missing.img",
                                   dir.Write("odd.img", "abc")}) {
        auto device = RunProgram({kDevice, "--load", bad, "--modbus-port", "0", "--http-port", "0"});
        auto send = RunProgram({kCli, "send", "127.0.0.1", "1", "--image", bad});
        EXPECT_EQ(device.exitCode, 2) << bad;
        EXPECT_EQ(device.out, "") << bad;  // never listened
        EXPECT_EQ(device.err.substr(device.err.find(':')), send.err.substr(send.err.find(':')))
            << device.err;
    }
}

TEST(Send, AnImageFileIsCheckedThenSentAsItIs) {
    TempDir dir;
    const std::string image = dir.Path() + "/site.img";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, dir.WriteSized("index.htm", 900, 4),
                          dir.WriteSized("logo.png", 300, 5)})
                  .exitCode,
              0);
    const std::string stored = dir.Path() + "/stored.bin";
    Device device({"--image-out", stored});
    auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), "--image", image,
                            "--dump", dir.Path() + "/a.dat"});
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_EQ(sent.out,
              "127.0.0.1:" + device.ModbusPort() + " 连接成功\n开始发送\n发送结束!!!!!\n");
    ASSERT_EQ(device.ReadLine(), "image " + stored);
    const std::string bytes = ReadAll(image);
    EXPECT_TRUE(ReadAll(dir.Path() + "/a.dat") == bytes);
    EXPECT_TRUE(ReadAll(stored).substr(0, bytes.size()) == bytes);

    // Broken, too large or odd images are refused before any connection,
    // with what is wrong and where.
    std::string broken = bytes;
    broken[28] = 0x00;  // the first record's next address now points to itself
    broken[29] = 0x00;
    broken[30] = 0x12;
    broken[31] = 0x00;
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {dir.Write("broken.img", broken), "映像已损坏，偏移0：记录链回到了偏移0"},
        {dir.Write("huge.img", std::string(kImageCapacity + 4, '\xFF')),
         "有131076字节，超过映像存储器的131072字节"},
        {dir.Write("odd.img", bytes.substr(0, bytes.size() - 1)), "长度为奇数"},
        {dir.Path() + "/missing.img", "无法读取映像"},
        {dir.Path(), "无法读取映像"},
        {dir.Write("empty.img", ""), "不含任何记录：没有可发送或校验的映像"}};
    for (const auto& [path, message] : refusals) {
        auto refused =
            RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), "--image", path});
        EXPECT_EQ(refused.exitCode, 2) << path;
        EXPECT_EQ(refused.out, "") << path;  // not even a connect line
        EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
    }
    EXPECT_EQ(RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), "--image", image,
                          dir.Write("x.htm", "x")})
                  .exitCode,
              2);  // files and an image at once
}

TEST(Send, AnOutputNamingAnInputIsRefusedBeforeConnectingAndTheInputKept) {
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 900);
    const std::string image = dir.Path() + "/site.img";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, page}).exitCode, 0);
    const std::string pageBytes = ReadAll(page);
    const std::string imageBytes = ReadAll(image);
    Device device({"--image-out", dir.Path() + "/stored.bin"});
    const std::string port = device.ModbusPort();
    const std::string spelt = dir.Path() + "/./index.htm";
    const std::vector<std::vector<std::string>> commands = {
        {kCli, "send", "127.0.0.1", port, page, "--trace", spelt},
        {kCli, "send", "127.0.0.1", port, page, "--dump", spelt},
        {kCli, "send", "127.0.0.1", port, "--image", image, "--trace", image},
        {kCli, "verify", "127.0.0.1", port, page, "--trace", page},
        {kCli, "verify", "127.0.0.1", port, "--image", image, "--trace", image},
    };
    for (const auto& command : commands) {
        auto run = RunProgram(command);
        EXPECT_EQ(run.exitCode, 2) << command[1] << " " << command.back();
        EXPECT_EQ(run.out, "") << run.out;  // not even a connect line
        EXPECT_NE(run.err.find("不会覆盖它"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(ReadAll(page) == pageBytes);
    EXPECT_TRUE(ReadAll(image) == imageBytes);
    // The device was never written: it saves nothing when stopped.
}

TEST(Send, NoTransactionIdRepeatsInTheTraceOfAWindowedVerifiedSend) {
    TempDir dir;
    Device device;
    const std::string trace = dir.Path() + "/trace.txt";
    auto run = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), "--window", "4",
                           "--verify", "--trace", trace, "--dump", dir.Path() + "/a.dat",
                           dir.WriteSized("index.htm", 20000)});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::istringstream lines(ReadAll(trace));
    std::set<int> ids;
    int sent = 0;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(" send tid ");
        if (at == std::string::npos) {
            continue;
        }
        ++sent;
        const int id = std::atoi(line.c_str() + at + 10);
        EXPECT_NE(id, 0) << line;
        EXPECT_TRUE(ids.insert(id).second) << "repeated: " << line;
    }
    EXPECT_GT(sent, 150 + 80);  // the chunks, then the reads
}

TEST(Send, AVerifiedSendOfNothingPackedComparesNothing) {
    TempDir dir;
    Device device;
    auto run = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPort(), "--verify",
                           dir.Path() + "/gone.htm", "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "正在打包\n" + dir.Path() + "/gone.htm打开失败\n打包完成\n没有文件被打包，无可校验\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/a.dat"));
}

}  // namespace
}  // namespace kelvarin
