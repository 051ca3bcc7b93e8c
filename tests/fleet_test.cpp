// Fleet send: the targets file, and kelvarin-cli fleet against a mix of
// sound, silent, corrupting and dead devices.
#include "catalog.h"
#include "child_process.h"
#include "device_process.h"
#include "targets.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

namespace kelvarin {
namespace {

using test::DeviceProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;

TEST(Targets, LinesAreAddressAndOptionalPortAndUnit) {
    EXPECT_EQ(ParseTarget("10.0.0.7")->Text(), "10.0.0.7:502");
    EXPECT_EQ(ParseTarget("10.0.0.7:1502")->Text(), "10.0.0.7:1502");
    // A leading zero means nothing: the address the window's control reads.
    EXPECT_EQ(ParseTarget("192.168.002.080:65535")->Text(), "192.168.2.80:65535");
    EXPECT_EQ(ParseTarget("127.000.000.010")->Text(), "127.0.0.10:502");
    // A unit after a slash, else the one given; 0 is not shown.
    EXPECT_EQ(ParseTarget("10.0.0.7/255")->Text(), "10.0.0.7:502/255");
    EXPECT_EQ(ParseTarget("10.0.0.7:1502/007")->unit, 7);
    EXPECT_EQ(ParseTarget("10.0.0.7", 9)->Text(), "10.0.0.7:502/9");
    EXPECT_EQ(ParseTarget("10.0.0.7/0", 9)->Text(), "10.0.0.7:502");
    for (const char* bad : {"10.0.0.7/", "10.0.0.7/256", "10.0.0.7/1/2", "10.0.0.7/-1", "/1"}) {
        EXPECT_FALSE(ParseTarget(bad)) << bad;
    }
    for (const char* bad :
         {"10.0.0", "10.0.0.256", "10.0.0.7:0", "10.0.0.7:65536", "10.0.0.7:", "10.0.0.7:50a",
          "host:502", "0.0.0.0", "10.0.0.7.1", "10..0.7", " 10.0.0.7", "10.0.0.7:502:1", "-1.0.0.7",
          "10.7", "0x0a.0.0.7", "000.000.000.000", "10.0.0.0007"}) {
        EXPECT_FALSE(ParseTarget(bad)) << bad;
    }
}

// What kelvarin-cli says of the targets file at path, in English.
std::vector<std::string> Problems(const std::string& path) {
    return MessageCatalog(Language::kEnglish).TargetsLines(path, ReadTargets(path));
}

TEST(Targets, FileErrorsNameTheFileAndLine) {
    TempDir dir;
    // Comments, blanks, CR LF line ends and a byte order mark are no targets.
    const std::string good = dir.Write(
        "good.txt", "\xEF\xBB\xBF# plant 1\n10.0.0.1\n\n  10.0.0.2:1502  # spare\r\n10.0.0.3:502\n");
    const TargetsFile targets = ReadTargets(good);
    ASSERT_TRUE(targets.Ok()) << Problems(good)[0];
    ASSERT_EQ(targets.targets.size(), 3u);
    EXPECT_EQ(targets.targets[1].Text(), "10.0.0.2:1502");
    const std::string marked = dir.Write("marked.txt", "\xEF\xBB\xBF" "10.0.0.9\n");
    ASSERT_EQ(ReadTargets(marked).targets.size(), 1u);
    EXPECT_EQ(ReadTargets(marked).targets[0].Text(), "10.0.0.9:502");

    const std::string bad = dir.Path() + "/bad.txt";
    const struct {
        std::string contents;
        std::vector<std::string> said;
    } cases[] = {
        {"10.0.0.1\n10.0.0.300\n", {bad + ":2: \"10.0.0.300\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)"}},
        // A unit past 255, or not a number, is a bad line; one device at
        // two units is two devices (behind a gateway).
        {"10.0.0.1/256\n10.0.0.1:502/x\n10.0.0.2/1\n10.0.0.2:502/2\n10.0.0.2/1\n",
         {bad + ":1: \"10.0.0.1/256\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)",
          bad + ":2: \"10.0.0.1:502/x\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)",
          bad + ":5: 10.0.0.2:502/1 is listed twice (first on line 3)"}},
        {"10.0.0.1\n# x\n10.0.0.1:502\n",
         {bad + ":3: 10.0.0.1:502 is listed twice (first on line 1)"}},
        // The same device however written: compared as parsed.
        {"10.0.0.1\n10.0.0.01\n", {bad + ":2: 10.0.0.1:502 is listed twice (first on line 1)"}},
        {"192.168.2.80:1502\n192.168.002.080:01502\n",
         {bad + ":2: 192.168.2.80:1502 is listed twice (first on line 1)"}},
        // Every bad line at once, in order, the good ones kept.
        {"10.0.0.1:70000\nhost\n10.0.0.2\n10.0.0.2\n\xEF\xBB\xBF" "10.0.0.3\n",
         {bad + ":1: \"10.0.0.1:70000\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)",
          bad + ":2: \"host\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)",
          bad + ":4: 10.0.0.2:502 is listed twice (first on line 3)",
          bad + ":5: \"\xEF\xBB\xBF" "10.0.0.3\" is not ADDRESS[:PORT][/UNIT] (a dotted IPv4 address, a port 1..65535, a unit 0..255)"}},  // a mark past the start is no mark
        {"# nothing\n\n", {bad + ": no targets in the file"}},
        {"", {bad + ": no targets in the file"}},
    };
    for (const auto& c : cases) {
        dir.Write("bad.txt", c.contents);
        EXPECT_FALSE(ReadTargets(bad).Ok());
        EXPECT_EQ(Problems(bad), c.said);
    }
    EXPECT_EQ(Problems(dir.Path() + "/missing.txt"),
              std::vector<std::string>{dir.Path() + "/missing.txt: cannot read the targets file"});

    // A file of garbage: the first 20 lines said, the rest counted.
    std::string garbage;
    for (int i = 0; i < 25; ++i) {
        garbage += "x" + std::to_string(i) + "\n";
    }
    dir.Write("bad.txt", garbage);
    const std::vector<std::string> said = Problems(bad);
    ASSERT_EQ(said.size(), 21u);
    EXPECT_EQ(said[19].substr(0, bad.size() + 5), bad + ":20: ");
    EXPECT_EQ(said[20], bad + ": 5 more bad lines not shown");
}

// One entry of the JSON array: target, ok, failed_chunks, seconds, error,
// files_left_out.
struct JsonEntry {
    std::string target;
    bool ok = false;
    int failedChunks = 0;
    double seconds = 0;
    std::string error;    // "null" or the quoted text
    std::string leftOut;  // the array as written
};

std::vector<JsonEntry> ParseJson(const std::string& json) {
    static const std::regex entry(
        R"re(\{"target": "([0-9.:]+)", "ok": (true|false), "failed_chunks": ([0-9]+), )re"
        R"re("seconds": ([0-9]+\.[0-9]{3}), "error": (null|"[^"]*"), )re"
        R"re("files_left_out": (\[[^\]]*\]), "current": (true|false), )re"
        R"re("retries": ([0-9]+), "reconnects": ([0-9]+), "started": (true|false), )re"
        R"re("start": (null|"[^"]*"), "end": (null|"[^"]*"), "bytes_written": ([0-9]+), )re"
        R"re("image_sha256": "[0-9a-f]{64}", "backup": (null|"[^"]*")\})re");
    std::vector<JsonEntry> entries;
    for (auto it = std::sregex_iterator(json.begin(), json.end(), entry);
         it != std::sregex_iterator(); ++it) {
        entries.push_back({(*it)[1], (*it)[2] == "true", std::stoi((*it)[3]), std::stod((*it)[4]),
                           (*it)[5], (*it)[6]});
    }
    return entries;
}

TEST(Fleet, EachTargetKeepsItsOwnOutcomeAndNoneHoldsUpAnother) {
    TempDir dir;
    DeviceProcess sound(kDevice, {"--count", "2"});
    DeviceProcess silent(kDevice, {"--fault", "silent"});
    DeviceProcess badMemory(kDevice, {"--fault", "flip-store=2"});
    ASSERT_TRUE(sound.Ready() && silent.Ready() && badMemory.Ready());
    const std::string secondSound = sound.ReadLine();
    const int secondPort = std::atoi(secondSound.c_str() + secondSound.find(':') + 1);
    int deadPort = 0;
    {
        DeviceProcess gone(kDevice);
        deadPort = gone.ModbusPort();
    }
    const std::string targets = dir.Write(
        "targets.txt", "# the line\n127.0.0.1:" + std::to_string(silent.ModbusPort()) +
                           "\n127.0.0.1:" + sound.ModbusPortText() + "\n127.0.0.1:" +
                           std::to_string(secondPort) + "\n127.0.0.1:" + std::to_string(deadPort) +
                           "  # switched off\n127.0.0.1:" + badMemory.ModbusPortText() + "\n");
    // 2000 bytes of file: 17 chunks, so the silent device waits 3.4 s in all.
    const std::string page = dir.WriteSized("index.htm", 2000);

    auto run = RunProgram({kCli, "fleet", "--targets", targets, "--verify", "--json", page,
                           "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.front(), '[');
    const std::vector<JsonEntry> entries = ParseJson(run.out);
    ASSERT_EQ(entries.size(), 5u) << run.out;
    // The log goes to stderr: the packer's lines, one for each device as it
    // finishes, then the summary.
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2 + 5 + 1) << run.err;
    EXPECT_NE(run.err.find("127.0.0.1:" + std::to_string(silent.ModbusPort()) + " 失败："),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(run.err.ends_with("共5台设备：2台成功，3台失败\n")) << run.err;
    // In the targets file's order, whatever order they finished in.
    EXPECT_EQ(entries[0].target, "127.0.0.1:" + std::to_string(silent.ModbusPort()));
    EXPECT_FALSE(entries[0].ok);
    EXPECT_EQ(entries[0].failedChunks, 17);
    EXPECT_EQ(entries[0].error, "\"17 chunks failed\"");
    for (int k : {1, 2}) {
        EXPECT_TRUE(entries[k].ok) << entries[k].target;
        EXPECT_EQ(entries[k].error, "null");
        EXPECT_LT(entries[k].seconds, 1.0);  // not held up by the silent one
    }
    EXPECT_FALSE(entries[3].ok);
    EXPECT_EQ(entries[3].error, "\"connection failed\"");
    EXPECT_FALSE(entries[4].ok);
    EXPECT_EQ(entries[4].failedChunks, 0);
    EXPECT_EQ(entries[4].error, "\"verify failed: 1 byte differs, the first at offset 128\"");
    EXPECT_GT(entries[0].seconds, 3.0);

    // The lines: each target as it finishes, the sound ones long before the
    // silent one, then the summary.
    auto lines =
        RunProgram({kCli, "fleet", "--targets", targets, page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(lines.exitCode, 1);
    const std::string silentLine = "127.0.0.1:" + std::to_string(silent.ModbusPort()) + " 失败";
    EXPECT_GT(lines.out.find(silentLine),
              lines.out.find("127.0.0.1:" + sound.ModbusPortText() + " 成功"))
        << lines.out;
    EXPECT_NE(lines.out.find("共5台设备：3台成功，2台失败\n"), std::string::npos) << lines.out;
}

TEST(Fleet, UsageErrorsStopBeforeAnythingIsSent) {
    TempDir dir;
    DeviceProcess device(kDevice, {"--image-out", dir.Path() + "/stored.bin"});
    const std::string page = dir.Write("index.htm", "<p>");
    const std::string good = dir.Write("good.txt", "127.0.0.1:" + device.ModbusPortText() + "\n");
    const std::vector<std::vector<std::string>> usages = {
        {"--targets", dir.Write("bad.txt", "127.0.0.1:" + device.ModbusPortText() + "\nnope\n"),
         page},
        {"--targets", dir.Path() + "/missing.txt", page},
        {"--targets", good},                       // nothing to send
        {"--targets", good, page, "--jobs", "0"},  // no workers
        {"--targets", good, "--site", dir.Path() + "/none"},
    };
    for (const auto& usage : usages) {
        std::vector<std::string> argv = {kCli, "fleet"};
        argv.insert(argv.end(), usage.begin(), usage.end());
        auto refused = RunProgram(argv);
        EXPECT_EQ(refused.exitCode, 2) << refused.err;
    }
    auto bad = RunProgram({kCli, "fleet", "--targets", dir.Path() + "/bad.txt", page});
    EXPECT_NE(bad.err.find("bad.txt:2：“nope”不是 地址[:端口][/单元]"), std::string::npos) << bad.err;

    // All or nothing with a site that does not fit: settled before any
    // device is touched.
    std::filesystem::create_directories(dir.Path() + "/site");
    dir.WriteSized("site/index.htm", 100);
    dir.WriteSized("site/big.bin", 140000);
    auto partial = RunProgram({kCli, "fleet", "--targets", good, "--site", dir.Path() + "/site",
                               "--all-or-nothing", "--json"});
    EXPECT_EQ(partial.exitCode, 1);
    const std::vector<JsonEntry> refused = ParseJson(partial.out);
    ASSERT_EQ(refused.size(), 1u) << partial.out;
    EXPECT_FALSE(refused[0].ok);
    EXPECT_EQ(refused[0].error,
              "\"All or nothing: 1 file cannot be packed, nothing was sent\"");
    EXPECT_EQ(refused[0].leftOut, "[\"" + dir.Path() + "/site/big.bin\"]");
    EXPECT_TRUE(partial.err.ends_with("全部装下才发送：1个文件不能打包，什么也没有发送\n"))
        << partial.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/stored.bin"));

    // Then a good run: the device's memory is written out once, now.
    auto sent =
        RunProgram({kCli, "fleet", "--targets", good, page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_EQ(device.ReadLine(), "image " + dir.Path() + "/stored.bin");
}

TEST(Fleet, AZeroPaddedTargetReachesTheDeviceItNames) {
    TempDir dir;
    test::LookAlikeDevices devices(kDevice, dir.Path());
    ASSERT_TRUE(devices.Ready());
    const std::string port = std::to_string(devices.Port());
    const std::string targets = dir.Write("targets.txt", "127.000.000.010:" + port + "\n");
    const std::string page = dir.Write("index.htm", "<p>ten</p>");
    auto sent =
        RunProgram({kCli, "fleet", "--targets", targets, page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_NE(sent.out.find("\n127.0.0.10:" + port + " 成功"), std::string::npos) << sent.out;
    EXPECT_EQ(devices.Ten().ReadLine(), "image " + devices.TenImage());
    const std::string dump = ReadAll(dir.Path() + "/a.dat");
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(ReadAll(devices.TenImage()).substr(0, dump.size()), dump);
    EXPECT_EQ(ReadAll(devices.EightImage()), "");  // never reached
}

TEST(Fleet, FilesLeftOutOfTheImageMakeNoDeviceOk) {
    TempDir dir;
    DeviceProcess device(kDevice);
    ASSERT_TRUE(device.Ready());
    const std::string targets =
        dir.Write("targets.txt", "127.0.0.1:" + device.ModbusPortText() + "\n");
    const std::string page = dir.Write("index.htm", "<p>");
    const std::string missing = dir.Path() + "/missing.css";
    const std::string large = dir.WriteSized("large.bin", 140000);
    auto run = RunProgram({kCli, "fleet", "--targets", targets, "--json", page, missing, large,
                           "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<JsonEntry> entries = ParseJson(run.out);
    ASSERT_EQ(entries.size(), 1u) << run.out;
    EXPECT_FALSE(entries[0].ok);  // the download went well, but the site is not whole
    EXPECT_EQ(entries[0].failedChunks, 0);
    EXPECT_EQ(entries[0].error, "\"2 files not packed\"");
    EXPECT_EQ(entries[0].leftOut, "[\"" + missing + "\", \"" + large + "\"]");

    auto whole = RunProgram(
        {kCli, "fleet", "--targets", targets, "--json", page, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(whole.exitCode, 0);
    const std::vector<JsonEntry> good = ParseJson(whole.out);
    ASSERT_EQ(good.size(), 1u) << whole.out;
    EXPECT_TRUE(good[0].ok);
    EXPECT_EQ(good[0].leftOut, "[]");
}

TEST(Fleet, NoLineCallsADeviceOfAPartialSiteASuccessInEitherLanguage) {
    TempDir dir;
    DeviceProcess device(kDevice);
    ASSERT_TRUE(device.Ready());
    const std::string target = "127.0.0.1:" + device.ModbusPortText();
    const std::string targets = dir.Write("targets.txt", target + "\n");
    const std::string page = dir.Write("index.htm", "<p>");
    const std::string missing = dir.Path() + "/missing.css";
    const std::string dump = dir.Path() + "/a.dat";
    auto zh = RunProgram({kCli, "fleet", "--targets", targets, page, missing, "--dump", dump});
    EXPECT_EQ(zh.exitCode, 1);
    EXPECT_NE(zh.out.find(target + " 失败：1个文件未打包，用时"), std::string::npos) << zh.out;
    EXPECT_NE(zh.out.find("共1台设备：0台成功，1台失败"), std::string::npos) << zh.out;
    EXPECT_EQ(zh.out.find("成功，用时"), std::string::npos) << zh.out;
    const char* saved = std::getenv("LC_ALL");
    const std::string before = saved ? saved : "";
    test::SetEnv("LC_ALL", "en_US.UTF-8");
    auto en = RunProgram({kCli, "fleet", "--targets", targets, page, missing, "--dump", dump});
    test::SetEnv("LC_ALL", saved ? before.c_str() : nullptr);
    EXPECT_EQ(en.exitCode, 1);
    EXPECT_NE(en.out.find(target + " failed: 1 file not packed, "), std::string::npos) << en.out;
    EXPECT_NE(en.out.find("1 device: 0 ok, 1 failed"), std::string::npos) << en.out;
    EXPECT_EQ(en.out.find(" ok in "), std::string::npos) << en.out;
}

TEST(Fleet, AnOutputNamingAnInputIsRefusedAndTheInputKept) {
    TempDir dir;
    const std::string targets = dir.Write("targets.txt", "127.0.0.1:1\n");
    const std::string page = dir.Write("index.htm", "<p>page</p>");
    for (const auto& [option, path] : std::vector<std::pair<std::string, std::string>>{
             {"--trace", page}, {"--dump", page}, {"--trace", targets}, {"--dump", targets}}) {
        auto run = RunProgram({kCli, "fleet", "--targets", targets, page, option, path});
        EXPECT_EQ(run.exitCode, 2) << option << " " << path;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("不会覆盖它"), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadAll(page), "<p>page</p>");
    EXPECT_EQ(ReadAll(targets), "127.0.0.1:1\n");
}

TEST(Fleet, JsonIsValidWhateverBytesAFileNameHolds) {
    TempDir dir;
    DeviceProcess device(kDevice);
    ASSERT_TRUE(device.Ready());
    const std::string targets =
        dir.Write("targets.txt", "127.0.0.1:" + device.ModbusPortText() + "\n");
    // A name in GBK (not UTF-8) with a control character, left out: it is
    // named in the JSON.
    const std::string odd = dir.Path() + "/\xB0\xA1\x01.htm";
    auto run = RunProgram({kCli, "fleet", "--targets", targets, "--json",
                           dir.Write("index.htm", "<p>"), odd, "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(run.exitCode, 1);
    const std::string json = dir.Write("out.json", run.out);
    auto parsed = RunProgram({"/usr/bin/python3", "-c",
                              "import json, sys; d = json.load(open(sys.argv[1], encoding='utf-8'));"
                              "print(d[0]['files_left_out'][0])",
                              json});
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err << run.out;
    EXPECT_EQ(parsed.out, dir.Path() + "/\\xB0\\xA1\x01.htm\n");
    // The log on stderr names it visibly too, its control character escaped.
    EXPECT_NE(run.err.find("/\\xB0\\xA1\\x01.htm打开失败"), std::string::npos) << run.err;
}

TEST(Targets, ABadLineIsShownWithItsControlCharactersEscaped) {
    TempDir dir;
    const std::string targets = dir.Write("targets.txt", "\x1b]0;owned\x07\x1b[2J\n");
    auto run = RunProgram({kCli, "fleet", "--targets", targets, dir.Write("a.htm", "x")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.find_first_of("\x1b\x07"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\\x1B]0;owned\\x07\\x1B[2J"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace kelvarin
