// kelvarin-cli scan against simulated devices on loopback addresses
// (127.0.N.x, one port for all): one that holds the image, one blank, one
// holding another image, one without identification, one that answers only
// unit 1, a silent one. The JSON and the targets file say exactly what each
// is, fleet takes the targets file as it is, and no device is written.
#include "child_process.h"
#include "device_process.h"
#include "loopback_client.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>

namespace kelvarin {
namespace {

using test::DeviceProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;
using test::With;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;

// The JSON object of address and unit in the scan's output, or empty.
std::string ObjectOf(const std::string& json, const std::string& address, int unit) {
    const std::regex object("\\{\"address\": \"" + std::regex_replace(address, std::regex("\\."), "\\.") +
                            "\", \"port\": [0-9]+, \"unit\": " + std::to_string(unit) + ",[^\\n]*\\}");
    std::smatch match;
    return std::regex_search(json, match, object) ? match.str() : std::string();
}

TEST(Scan, SaysWhatEachDeviceIsAndWritesNothing) {
    TempDir dir;
    const int port = test::UnusedPort();
    ASSERT_GT(port, 0);
    const std::string page = dir.WriteSized("index.htm", 900, 1);
    const std::string image = dir.Path() + "/site.img";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", image, page}).exitCode, 0);
    const std::string other = dir.Path() + "/other.img";
    ASSERT_EQ(RunProgram({kCli, "pack", "-o", other, dir.WriteSized("old.htm", 700, 2)}).exitCode, 0);
    const auto device = [&](const std::string& address, std::vector<std::string> options) {
        return std::make_unique<DeviceProcess>(
            kDevice, With({"--bind", address, "--image-out", dir.Path() + "/" + address + ".out"},
                          options),
            port);
    };
    std::vector<std::unique_ptr<DeviceProcess>> devices;
    devices.push_back(device("127.0.9.2", {"--load", image, "--vendor", "Plant Co", "--product",
                                           "PLC-9", "--revision", "4.1"}));
    devices.push_back(device("127.0.9.3", {}));
    devices.push_back(device("127.0.9.4", {"--load", other, "--no-identity"}));
    devices.push_back(device("127.0.9.5", {"--unit", "1"}));
    devices.push_back(device("127.0.9.6", {"--fault", "silent"}));
    for (const auto& running : devices) {
        ASSERT_TRUE(running->Ready());
    }
    const std::string targets = dir.Path() + "/found.txt";
    auto scan = RunProgram({kCli, "scan", "127.0.9.0/24", "--port", std::to_string(port), "--json",
                            "--targets-out", targets, "--image", image, "--journal",
                            dir.Path() + "/journal.sqlite"});
    ASSERT_EQ(scan.exitCode, 0) << scan.out << scan.err;
    const std::string json = scan.out;
    EXPECT_NE(ObjectOf(json, "127.0.9.2", 0).find(
                  "\"identity\": {\"vendor\": \"Plant Co\", \"product\": \"PLC-9\", \"revision\": "
                  "\"4.1\"}"),
              std::string::npos)
        << json;
    EXPECT_NE(ObjectOf(json, "127.0.9.2", 255).find("\"current\": true"), std::string::npos) << json;
    EXPECT_NE(ObjectOf(json, "127.0.9.3", 1).find("\"image\": null, \"current\": false"),
              std::string::npos)
        << json;
    const std::string foreign = ObjectOf(json, "127.0.9.4", 0);
    EXPECT_NE(foreign.find("\"identity\": null"), std::string::npos) << json;
    EXPECT_NE(foreign.find("\"records\": 1"), std::string::npos) << json;
    EXPECT_NE(foreign.find("\"current\": false"), std::string::npos) << json;
    EXPECT_EQ(ObjectOf(json, "127.0.9.5", 0), "") << json;
    EXPECT_NE(ObjectOf(json, "127.0.9.5", 1).find("\"vendor\": \"Kelvarin\""), std::string::npos);
    EXPECT_NE(json.find("{\"address\": \"127.0.9.6\", \"port\": " + std::to_string(port) +
                        ", \"answered\": false}"),
              std::string::npos)
        << json;
    // Three units of three devices that answer all, one of the one that
    // answers only unit 1; nothing else answered anything.
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 2 + 10 + 1) << json;

    // The targets file: every unit that answered, which fleet takes as it is.
    const std::string found = ReadAll(targets);
    for (const std::string& unit : {"127.0.9.2:" + std::to_string(port) + "/0",
                                    "127.0.9.5:" + std::to_string(port) + "/1"}) {
        EXPECT_NE(found.find(unit + "\n"), std::string::npos) << found;
    }
    EXPECT_EQ(found.find("127.0.9.6"), std::string::npos) << found;
    auto dry = RunProgram({kCli, "fleet", "--targets", targets, "--image", image, "--dry-run",
                           "--journal", "none", "--dump", dir.Path() + "/a.dat"});
    EXPECT_EQ(dry.exitCode, 0) << dry.out << dry.err;

    // No device was written: none wrote its memory out.
    for (const auto& running : devices) {
        EXPECT_EQ(running->ReadLine(200), "");
    }
    auto history = RunProgram({kCli, "history", "--json", "--journal", dir.Path() + "/journal.sqlite"});
    EXPECT_NE(history.out.find("\"operation\":\"scan\""), std::string::npos) << history.out;
    EXPECT_NE(history.out.find("\"found\":[{\"address\":\"127.0.9.2\""), std::string::npos)
        << history.out;
}

TEST(Scan, RangesAndUnitsAreCheckedAndNoConnectionIsSaid) {
    const int port = test::UnusedPort();
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"127.0.0.0/15"}, {"127.0.0.9-3"}, {"127.0.0.1", "--units", "256"},
          {"127.0.0.1", "--units", "1,x"}, {"--port", "502"}}) {
        auto run = RunProgram(With({kCli, "scan", "--journal", "none"}, bad));
        EXPECT_EQ(run.exitCode, 2) << bad[0] << run.err;
    }
    auto none = RunProgram({kCli, "scan", "127.0.8.0/24", "--port", std::to_string(port),
                            "--journal", "none"});
    EXPECT_EQ(none.exitCode, 3) << none.out;
    EXPECT_NE(none.out.find("扫描了254个地址：0个接受连接，0个单元回答"), std::string::npos) << none.out;
}

}  // namespace
}  // namespace kelvarin
