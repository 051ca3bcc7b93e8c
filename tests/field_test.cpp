// Field safety, end to end with kelvarin-cli and kelvarin-device: pull,
// backup and rollback, the journal from every command (two writers at once,
// a kill in the middle, a row changed with the sqlite3 tool), staged fleets,
// and the unit identifier.
#include "child_process.h"
#include "device_process.h"
#include "loopback_client.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <unistd.h>
#include <filesystem>
#include <regex>
#include <thread>

namespace kelvarin {
namespace {

using test::DeviceProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;
using test::With;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;

// A journal of the test's own.
struct Journaled {
    TempDir dir;
    std::string Path() const { return dir.Path() + "/journal.sqlite"; }
    std::vector<std::string> Options() const { return {"--journal", Path()}; }
};

// The image pack makes of files.
std::string Pack(const TempDir& dir, const std::string& name, const std::vector<std::string>& files) {
    const std::string image = dir.Path() + "/" + name;
    EXPECT_EQ(RunProgram(With({kCli, "pack", "-o", image}, files)).exitCode, 0);
    return image;
}

TEST(Field, PullGivesTheImageABackupKeepsItAndASendOfTheBackupRollsBack) {
    TempDir dir;
    Journaled journal;
    DeviceProcess device(kDevice);
    ASSERT_TRUE(device.Ready());
    const std::string port = device.ModbusPortText();
    const std::string a =
        Pack(dir, "a.img", {dir.WriteSized("index.htm", 3000, 1), dir.WriteSized("logo.png", 900, 2)});
    const std::string b = Pack(dir, "b.img", {dir.WriteSized("other.htm", 20000, 3)});
    const auto send = [&](const std::string& image, std::vector<std::string> more = {}) {
        return RunProgram(With(With({kCli, "send", "127.0.0.1", port, "--image", image, "--dump",
                                     dir.Path() + "/a.dat"},
                                    journal.Options()),
                               more));
    };
    const auto pull = [&](const std::string& out, std::vector<std::string> more = {}) {
        return RunProgram(
            With(With({kCli, "pull", "127.0.0.1", port, "-o", out}, journal.Options()), more));
    };

    // A new device holds no image: nothing written, exit 1, what is wrong said.
    auto fresh = pull(dir.Path() + "/fresh.img");
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_NE(fresh.out.find("设备中没有完好的映像：偏移0："), std::string::npos) << fresh.out;
    EXPECT_FALSE(std::filesystem::exists(TempDir::Native(dir.Path() + "/fresh.img")));

    ASSERT_EQ(send(a).exitCode, 0);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"--window", "auto", "--chunk", "244"}}) {
        auto got = pull(dir.Path() + "/got.img", options);
        ASSERT_EQ(got.exitCode, 0) << got.out << got.err;
        EXPECT_TRUE(ReadAll(dir.Path() + "/got.img") == ReadAll(a));
        EXPECT_NE(got.out.find("FileHead1    /logo.png"), std::string::npos) << got.out;
    }

    // Send B with a backup: the backup is A, the device holds B.
    const std::string backups = dir.Path() + "/backups";
    auto sent = send(b, {"--backup", backups});
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(TempDir::Native(backups))) {
        kept.push_back(entry.path().generic_string());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(std::regex_match(std::filesystem::path(kept[0]).filename().string(),
                                 std::regex("127\\.0\\.0\\.1-" + port + "-0-\\d{8}T\\d{6}Z\\.img")))
        << kept[0];
    EXPECT_TRUE(ReadAll(kept[0]) == ReadAll(a));
    EXPECT_NE(sent.out.find("已保存到" + kept[0]), std::string::npos) << sent.out;
    ASSERT_EQ(pull(dir.Path() + "/now.img").exitCode, 0);
    EXPECT_TRUE(ReadAll(dir.Path() + "/now.img") == ReadAll(b));

    // The rollback: send the backup.
    ASSERT_EQ(send(kept[0]).exitCode, 0);
    ASSERT_EQ(pull(dir.Path() + "/back.img").exitCode, 0);
    EXPECT_TRUE(ReadAll(dir.Path() + "/back.img") == ReadAll(a));

    // Every operation is in the journal, and its chain holds.
    auto history = RunProgram(With({kCli, "history", "--json"}, journal.Options()));
    ASSERT_EQ(history.exitCode, 0);
    EXPECT_EQ(std::count(history.out.begin(), history.out.end(), '\n'), 2 * 8 + 2);
    EXPECT_NE(history.out.find("\"backup_file\":\"" + kept[0] + "\""), std::string::npos);
    EXPECT_EQ(RunProgram(With({kCli, "history", "--check"}, journal.Options())).exitCode, 0);
}

TEST(Field, ADeviceThatCannotBeReadOutIsNotWritten) {
    TempDir dir;
    DeviceProcess device(kDevice, {"--fault", "no-read", "--image-out", dir.Path() + "/held.bin"});
    ASSERT_TRUE(device.Ready());
    auto sent = RunProgram({kCli, "send", "127.0.0.1", device.ModbusPortText(),
                            dir.WriteSized("index.htm", 500), "--backup", dir.Path() + "/backups",
                            "--dump", dir.Path() + "/a.dat", "--journal", "none"});
    EXPECT_EQ(sent.exitCode, 4);
    EXPECT_NE(sent.out.find("无法备份：读文件记录请求返回异常1，设备未写入"), std::string::npos)
        << sent.out;
    EXPECT_EQ(sent.out.find("开始发送"), std::string::npos);
    EXPECT_EQ(device.ReadLine(500), "");  // it wrote no memory out: nothing was written to it
}

TEST(Field, DamagedMemoryIsKeptWholeBeforeItIsWrittenOver) {
    TempDir dir;
    Journaled journal;
    const std::string old = Pack(dir, "old.img", {dir.WriteSized("index.htm", 3000, 1)});
    DeviceProcess device(kDevice, {"--load", old});
    ASSERT_TRUE(device.Ready());
    // Another writer puts four zero bytes over the first record's head.
    {
        test::LoopbackClient writer(device.ModbusPort());
        std::string frame("\x00\x01\x00\x00\x00\x0E\x00\x15\x0B\x06\x00\x10\x00\x00\x00\x02"
                          "\x00\x00\x00\x00", 20);
        ASSERT_TRUE(writer.Send(frame));
        ASSERT_EQ(writer.Receive(frame.size()), frame);
    }
    std::string memory = ReadAll(old);
    memory.replace(0, 4, std::string(4, '\0'));
    memory.resize(131072, '\xFF');
    const std::string backups = dir.Path() + "/backups";
    const std::string page = dir.WriteSized("index.htm", 900, 2);
    auto sent = RunProgram(With({kCli, "send", "127.0.0.1", device.ModbusPortText(), page,
                                 "--backup", backups, "--dump", dir.Path() + "/a.dat"},
                                journal.Options()));
    EXPECT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    std::vector<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(TempDir::Native(backups))) {
        kept.push_back(entry.path().string());
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].ends_with("-memory.bin")) << kept[0];
    EXPECT_TRUE(ReadAll(kept[0]) == memory);
    EXPECT_NE(sent.out.find("备份：设备中没有完好的映像"), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("整个存储区（131072字节）已保存到" + kept[0]), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("发送结束!!!!!"), std::string::npos) << sent.out;
    auto history = RunProgram(With({kCli, "history", "--json"}, journal.Options()));
    EXPECT_NE(history.out.find("\"backup_file\":\"" + kept[0] + "\",\"backup_holds\":\"memory\""),
              std::string::npos)
        << history.out;
}

// What the device serves at path over HTTP, its header left off.
std::string Fetch(const DeviceProcess& device, const std::string& path) {
    test::LoopbackClient client(device.HttpPort());
    client.Send("GET " + path + " HTTP/1.0\r\n\r\n");
    const std::string response = client.ReceiveAll();
    const std::size_t body = response.find("\r\n\r\n");
    return body == std::string::npos ? response : response.substr(body + 4);
}

TEST(Field, AReloadCutMidwayIsNotTrustedAndTheNextDeltaCompletesIt) {
    TempDir dir;
    Journaled journal;
    DeviceProcess device(kDevice, {"--fault", "delay=5"});
    ASSERT_TRUE(device.Ready());
    std::vector<std::string> site;
    for (int i = 0; i < 4; ++i) {
        site.push_back(dir.WriteSized("p" + std::to_string(i) + ".htm", 8000, i));
    }
    const auto send = [&](std::vector<std::string> more) {
        std::vector<std::string> argv = {kCli, "send", "127.0.0.1", device.ModbusPortText()};
        argv.insert(argv.end(), site.begin(), site.end());
        argv = With(With(argv, {"--dump", dir.Path() + "/a.dat"}), journal.Options());
        return RunProgram(With(argv, more));
    };
    ASSERT_EQ(send({}).exitCode, 0);
    // Trusted straight after a whole write: checked by sampling, said so.
    site[1] = dir.WriteSized("p1.htm", 8000, 11);
    auto trusted = send({"--delta", "--trust-journal"});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.out;
    EXPECT_NE(trusted.out.find("的日志为准"), std::string::npos) << trusted.out;
    EXPECT_EQ(trusted.out.find("校验成功"), std::string::npos);
    // A reload killed midway (every page grown: everything moves).
    for (int i = 0; i < 4; ++i) {
        site[i] = dir.WriteSized("p" + std::to_string(i) + ".htm", 9000, 20 + i);
    }
    {
        std::vector<std::string> argv = {kCli, "send", "127.0.0.1", device.ModbusPortText()};
        argv.insert(argv.end(), site.begin(), site.end());
        test::ChildProcess cut(With(With(argv, {"--dump", dir.Path() + "/a.dat", "--delta"}),
                                    journal.Options()));
        for (std::string line = cut.ReadLine(); !line.empty(); line = cut.ReadLine()) {
            if (line == "开始发送") {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cut.Stop(SIGKILL);
    }
    auto distrusted = send({"--delta", "--trust-journal"});
    EXPECT_EQ(distrusted.exitCode, 0) << distrusted.out;
    EXPECT_NE(distrusted.out.find("日志中这台设备的映像不可信（an operation on it never ended"),
              std::string::npos)
        << distrusted.out;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Fetch(device, "/p" + std::to_string(i) + ".htm"), ReadAll(site[i])) << i;
    }
    EXPECT_EQ(RunProgram(With({kCli, "history", "--check"}, journal.Options())).exitCode, 0);
}

TEST(Field, AFleetReloadLeavesEveryDeviceServingTheNewFiles) {
    TempDir dir;
    const std::vector<std::string> site = {dir.WriteSized("index.htm", 4000, 1),
                                           dir.WriteSized("app.js", 9000, 2)};
    const std::string old = Pack(dir, "old.img", {dir.WriteSized("old.htm", 6000, 3)});
    const std::string ours = Pack(dir, "ours.img", {site[0], dir.WriteSized("app2.js", 9000, 2)});
    DeviceProcess foreign(kDevice, {"--load", old});
    DeviceProcess blank(kDevice);
    DeviceProcess earlier(kDevice, {"--load", ours});
    ASSERT_TRUE(foreign.Ready() && blank.Ready() && earlier.Ready());
    const std::string targets =
        dir.Write("targets", "127.0.0.1:" + foreign.ModbusPortText() + "\n127.0.0.1:" +
                                 blank.ModbusPortText() + "\n127.0.0.1:" +
                                 earlier.ModbusPortText() + "\n");
    auto fleet = RunProgram(With({kCli, "fleet", "--targets", targets, "--delta", "--json",
                                  "--dump", dir.Path() + "/a.dat", "--journal", "none"},
                                 site));
    EXPECT_EQ(fleet.exitCode, 0) << fleet.out << fleet.err;
    EXPECT_EQ(std::count(fleet.out.begin(), fleet.out.end(), '{'), 3) << fleet.out;
    EXPECT_NE(fleet.out.find("\"mode\": \"delta-full\""), std::string::npos) << fleet.out;
    EXPECT_NE(fleet.out.find("\"mode\": \"delta\""), std::string::npos) << fleet.out;
    for (DeviceProcess* device : {&foreign, &blank, &earlier}) {
        EXPECT_EQ(Fetch(*device, "/index.htm"), ReadAll(site[0]));
        EXPECT_EQ(Fetch(*device, "/app.js"), ReadAll(site[1]));
    }
}

TEST(Field, TheJournalKeepsEveryCommandsOperationsAndShowsAChange) {
    TempDir dir;
    Journaled journal;
    DeviceProcess device(kDevice);
    ASSERT_TRUE(device.Ready());
    const std::string port = device.ModbusPortText();
    const std::string page = dir.WriteSized("index.htm", 800);
    const std::string targets = dir.Write("targets.txt", "127.0.0.1:" + port + "\n");
    const std::string dump = dir.Path() + "/a.dat";
    const std::vector<std::vector<std::string>> commands = {
        {kCli, "send", "127.0.0.1", port, page, "--verify", "--dump", dump},
        {kCli, "verify", "127.0.0.1", port, page},
        {kCli, "pull", "127.0.0.1", port, "-o", dir.Path() + "/p.img"},
        {kCli, "fleet", "--targets", targets, page, "--dump", dump},
    };
    // Two processes at once, each a send: none of their records is lost.
    {
        test::ChildProcess first(
            With({kCli, "send", "127.0.0.1", port, page, "--dump", dump}, journal.Options()));
        test::ChildProcess second(
            With({kCli, "send", "127.0.0.1", port, page, "--dump", dir.Path() + "/b.dat"},
                 journal.Options()));
        for (test::ChildProcess* child : {&first, &second}) {
            std::string said;
            for (std::string line = child->ReadLine(); !line.empty(); line = child->ReadLine()) {
                said += line + "\n";
            }
            EXPECT_EQ(said.find("日志"), std::string::npos) << said;  // no journal failure
            EXPECT_EQ(child->Stop(0), 0) << said;
        }
    }
    for (const auto& command : commands) {
        EXPECT_EQ(RunProgram(With(command, journal.Options())).exitCode, 0) << command[1];
    }
    auto listed = RunProgram(With({kCli, "history"}, journal.Options()));
    ASSERT_EQ(listed.exitCode, 0);
    for (const char* operation : {" send ", " verify ", " pull ", " fleet "}) {
        EXPECT_NE(listed.out.find(operation), std::string::npos) << operation << listed.out;
    }
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 2 * 6) << listed.out;
    auto filtered = RunProgram(
        With({kCli, "history", "--device", "127.0.0.1:" + port, "--since", "2000-01-01"},
             journal.Options()));
    EXPECT_EQ(filtered.out, listed.out);
    EXPECT_EQ(RunProgram(With({kCli, "history", "--device", "10.0.0.9"}, journal.Options())).out, "");

    auto intact = RunProgram(With({kCli, "history", "--check"}, journal.Options()));
    EXPECT_EQ(intact.exitCode, 0) << intact.out;
    EXPECT_NE(intact.out.find("日志完好：12条记录"), std::string::npos) << intact.out;

    // One row changed with the sqlite3 tool: the check names it.
    auto changed = RunProgram({"/usr/bin/sqlite3", journal.Path(),
                               "DROP TRIGGER records_no_update; UPDATE records SET record = "
                               "replace(record, '\"outcome\":\"ok\"', '\"outcome\":\"different\"') "
                               "WHERE seq = 6;"});
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    auto broken = RunProgram(With({kCli, "history", "--check"}, journal.Options()));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.out.find("日志第6条记录不成立"), std::string::npos) << broken.out;
}

TEST(Field, HistorySaysWhatAFileIsByItsExitCodeAndNeverWritesIt) {
    TempDir dir;
    Journaled journal;
    DeviceProcess device(kDevice, {});
    ASSERT_TRUE(device.Ready());
    const std::string page = dir.WriteSized("index.htm", 500);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(RunProgram(With({kCli, "send", "127.0.0.1", device.ModbusPortText(), page,
                                   "--dump", dir.Path() + "/a.dat"},
                                  journal.Options()))
                      .exitCode,
                  0);
    }
    auto intact = RunProgram(With({kCli, "history", "--check"}, journal.Options()));
    ASSERT_EQ(intact.exitCode, 0) << intact.out;
    std::smatch head;
    ASSERT_TRUE(std::regex_search(intact.out, head, std::regex("\nhead ([0-9a-f]{64}) 6 \\S+\n")))
        << intact.out;
    auto held = RunProgram(With({kCli, "history", "--check", "--head", head[1]}, journal.Options()));
    EXPECT_EQ(held.exitCode, 0) << held.out;
    const std::string other(64, 'a');
    auto missing = RunProgram(With({kCli, "history", "--check", "--head", other}, journal.Options()));
    EXPECT_EQ(missing.exitCode, 1) << missing.out;
    EXPECT_EQ(RunProgram(With({kCli, "history", "--head", other}, journal.Options())).exitCode, 2);

    // A journal only others may write, in a folder only they may write:
    // read as it is, nothing made beside it.
    const std::string bytes = ReadAll(journal.Path());
    const std::string locked = dir.Path() + "/locked";
    std::filesystem::create_directory(locked);
    const std::string copy = locked + "/journal.sqlite";
    std::filesystem::copy_file(journal.Path(), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_read |
                                             std::filesystem::perms::others_exec);
    if (::geteuid() == 0 && std::filesystem::exists("/usr/bin/setpriv")) {
        // As root, another user is needed to be denied anything.
        auto asNobody = RunProgram({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                    "--clear-groups", kCli, "history", "--check", "--journal", copy});
        EXPECT_EQ(asNobody.exitCode, 0) << asNobody.out << asNobody.err;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked),
                                std::filesystem::directory_iterator()),
                  1);
    }

    // Damaged, foreign, empty, missing: no journal to read, exit 2, and
    // nothing written to any of them.
    std::string damaged = bytes;
    damaged.replace(4096, 16, std::string(16, '\xFF'));
    const std::vector<std::string> broken = {
        dir.Write("damaged.sqlite", damaged), dir.Write("empty.sqlite", ""),
        dir.Write("text.sqlite", "plain words, no database"), dir.Path() + "/missing.sqlite"};
    for (const std::string& path : broken) {
        const std::string before = ReadAll(path);
        for (const char* how : {"--check", "--json"}) {
            auto run = RunProgram({kCli, "history", how, "--journal", path});
            EXPECT_EQ(run.exitCode, 2) << path << " " << how << run.out;
            EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
        }
        EXPECT_EQ(ReadAll(path), before) << path;
        EXPECT_FALSE(std::filesystem::exists(path + "-wal")) << path;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/missing.sqlite"));

    // Filters that are no filters are usage errors, not empty listings.
    for (const std::vector<std::string>& filter :
         {std::vector<std::string>{"--since", "2026-13-99"}, {"--since", "2026-02-30"},
          {"--device", "127.0.0.1:502abc"}, {"--device", "127.0.0.1/256"}}) {
        auto run = RunProgram(With(With({kCli, "history"}, filter), journal.Options()));
        EXPECT_EQ(run.exitCode, 2) << filter[1];
    }
    auto unit = RunProgram(
        With({kCli, "history", "--device", "127.0.0.1:" + device.ModbusPortText() + "/0"},
             journal.Options()));
    EXPECT_EQ(std::count(unit.out.begin(), unit.out.end(), '\n'), 6) << unit.out;
}

TEST(Field, AKillInTheMiddleOfASendLeavesItsFirstRecord) {
    TempDir dir;
    Journaled journal;
    DeviceProcess silent(kDevice, {"--fault", "silent"});
    ASSERT_TRUE(silent.Ready());
    test::ChildProcess sending(With({kCli, "send", "127.0.0.1", silent.ModbusPortText(),
                                     dir.WriteSized("index.htm", 3000), "--dump",
                                     dir.Path() + "/a.dat"},
                                    journal.Options()));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // chunks go unanswered
    sending.Stop(SIGKILL);
    auto history = RunProgram(With({kCli, "history"}, journal.Options()));
    EXPECT_NE(history.out.find(" send "), std::string::npos) << history.out;
    EXPECT_NE(history.out.find(" begun"), std::string::npos) << history.out;
    EXPECT_EQ(RunProgram(With({kCli, "history", "--check"}, journal.Options())).exitCode, 0);
}

TEST(Field, StagedFleetsStartNoDeviceTheyShouldNot) {
    TempDir dir;
    DeviceProcess good(kDevice, {"--count", "5"});
    DeviceProcess bad(kDevice, {"--count", "3", "--fault", "exception"});
    ASSERT_TRUE(good.Ready() && bad.Ready());
    const std::string page = dir.WriteSized("index.htm", 300);
    const auto line = [](int p) { return "127.0.0.1:" + std::to_string(p) + "\n"; };
    // With port 0, each device's own line says where it listens.
    std::vector<int> goodPorts = {good.ModbusPort()};
    std::vector<int> badPorts = {bad.ModbusPort()};
    for (int k = 1; k < 5; ++k) {
        const std::string text = good.ReadLine();
        goodPorts.push_back(std::atoi(text.c_str() + text.find(':') + 1));
    }
    for (int k = 1; k < 3; ++k) {
        const std::string text = bad.ReadLine();
        badPorts.push_back(std::atoi(text.c_str() + text.find(':') + 1));
    }

    // A canary that fails touches no other device.
    const std::string canary =
        dir.Write("canary.txt", line(badPorts[0]) + line(goodPorts[0]) + line(goodPorts[1]));
    auto staged = RunProgram({kCli, "fleet", "--targets", canary, page, "--canary", "1", "--json",
                              "--dump", dir.Path() + "/a.dat", "--journal", "none"});
    EXPECT_EQ(staged.exitCode, 1);
    std::smatch found;
    int notStarted = 0;
    for (std::string rest = staged.out;
         std::regex_search(rest, found, std::regex("\"started\": false")); rest = found.suffix()) {
        ++notStarted;
    }
    EXPECT_EQ(notStarted, 2) << staged.out;
    EXPECT_NE(staged.err.find("未启动：先发的设备没有全部成功"), std::string::npos) << staged.err;

    // Eight devices, three failing, one at a time: nothing starts after the
    // second failure.
    const std::string eight = dir.Write(
        "eight.txt", line(goodPorts[0]) + line(badPorts[0]) + line(goodPorts[1]) +
                         line(badPorts[1]) + line(goodPorts[2]) + line(badPorts[2]) +
                         line(goodPorts[3]) + line(goodPorts[4]));
    auto limited = RunProgram({kCli, "fleet", "--targets", eight, page, "--max-failures", "2",
                               "--jobs", "1", "--dump", dir.Path() + "/a.dat", "--journal", "none"});
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_NE(limited.out.find(line(goodPorts[2]).substr(0, line(goodPorts[2]).size() - 1) +
                               " 未启动：已有2台设备失败"),
              std::string::npos)
        << limited.out;
    EXPECT_NE(limited.out.find("共8台设备：2台成功，6台失败"), std::string::npos) << limited.out;
}

TEST(Field, AUnitIsAnsweredOnlyByTheDeviceOfThatUnit) {
    TempDir dir;
    DeviceProcess gateway(kDevice, {"--unit", "7"});
    ASSERT_TRUE(gateway.Ready());
    const std::string page = dir.WriteSized("index.htm", 300);
    const auto send = [&](std::vector<std::string> more) {
        return RunProgram(With({kCli, "send", "127.0.0.1", gateway.ModbusPortText(), page,
                                "--dump", dir.Path() + "/a.dat", "--journal", "none"},
                               more));
    };
    EXPECT_EQ(send({"--unit", "7", "--verify"}).exitCode, 0);
    auto other = send({});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_NE(other.out.find("无应答"), std::string::npos) << other.out;
    // Per target in a targets file, the device's unit.
    const std::string targets = dir.Write(
        "targets.txt", "127.0.0.1:" + gateway.ModbusPortText() + "/7\n");
    auto fleet = RunProgram({kCli, "fleet", "--targets", targets, page, "--dump",
                             dir.Path() + "/a.dat", "--journal", "none"});
    EXPECT_EQ(fleet.exitCode, 0) << fleet.out;
    EXPECT_NE(fleet.out.find("127.0.0.1:" + gateway.ModbusPortText() + "/7 成功"),
              std::string::npos);
}

}  // namespace
}  // namespace kelvarin
