// Modbus/TCP Security end to end with kelvarin-cli and kelvarin-device:
// roles, devices and clients that must not be trusted, files that cannot be
// used, session resumption on reconnect, the device's faults through TLS,
// and a fleet. The certificates are made at run time with the openssl
// command line, as the README shows an operator.
#include "child_process.h"
#include "device_process.h"
#include "loopback_client.h"
#include "test_support.h"
#include "tls.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

namespace kelvarin {
namespace {

using test::DeviceProcess;
using test::ReadAll;
using test::RunProgram;
using test::TempDir;
using Clock = std::chrono::steady_clock;

const std::string kCli = KELVARIN_CLI_PATH;
const std::string kDevice = KELVARIN_DEVICE_PATH;
const std::string kMakeCerts = KELVARIN_MAKE_CERTS;

std::vector<std::string> With(std::vector<std::string> argv, const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

class Tls : public ::testing::Test {
  protected:
    // One set of certificates for every test: making them takes seconds.
    static void SetUpTestSuite() {
        s_certs = new TempDir;
        const test::RunResult made = RunProgram({"/bin/sh", kMakeCerts, s_certs->Path()});
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete s_certs;
        s_certs = nullptr;
    }

    static std::string Cert(const std::string& name) { return s_certs->Path() + "/" + name; }

    // A device speaking TLS with the certificate pair named, trusting ca.pem.
    static std::unique_ptr<DeviceProcess> TlsDevice(const std::string& pair,
                                                    std::vector<std::string> more = {}) {
        return std::make_unique<DeviceProcess>(
            kDevice, With({"--tls", "--cert", Cert(pair + ".pem"), "--key", Cert(pair + ".key"),
                           "--ca", Cert("ca.pem")},
                          more));
    }

    // As TlsDevice, its standard error written to the file log: run through
    // a shell that sends it there.
    std::unique_ptr<DeviceProcess> LoggedTlsDevice(const std::string& pair, const std::string& log,
                                                   std::vector<std::string> more = {}) const {
        const std::string wrapper =
            m_dir.Write("logged-device.sh", "#!/bin/sh\nexec '" + kDevice + "' \"$@\" 2>'" + log + "'\n");
        std::filesystem::permissions(wrapper, std::filesystem::perms(0700));
        return std::make_unique<DeviceProcess>(
            wrapper, With({"--tls", "--cert", Cert(pair + ".pem"), "--key", Cert(pair + ".key"),
                           "--ca", Cert("ca.pem")},
                          more));
    }

    // The client options of the certificate pair named, trusting ca.pem.
    static std::vector<std::string> As(const std::string& pair) {
        return {"--tls", "--cert", Cert(pair + ".pem"), "--key", Cert(pair + ".key"), "--ca",
                Cert("ca.pem")};
    }

    std::string Dump() const { return m_dir.Path() + "/a.dat"; }

    test::RunResult Send(const DeviceProcess& device, const std::vector<std::string>& options) {
        return RunProgram(With({kCli, "send", "127.0.0.1", device.ModbusPortText(), m_page,
                                "--dump", Dump()},
                               options));
    }

    TempDir m_dir;
    std::string m_page = m_dir.WriteSized("index.htm", 3000, 4);

  private:
    static TempDir* s_certs;
};

TempDir* Tls::s_certs = nullptr;

TEST_F(Tls, TheWriteRoleWritesTheReadRoleOnlyReadsAndNoRoleNeither) {
    const std::string stored = m_dir.Path() + "/memory.bin";
    auto device = TlsDevice("device", {"--write-role", "Operator", "--read-role", "Operator",
                                       "--read-role", "Reader", "--image-out", stored});
    ASSERT_TRUE(device->Ready());
    const std::string port = device->ModbusPortText();

    auto sent = Send(*device, With(As("operator"), {"--verify"}));
    ASSERT_EQ(sent.exitCode, 0) << sent.out << sent.err;
    EXPECT_NE(sent.out.find("127.0.0.1:" + port + " 连接成功（TLSv1.3，设备证书：CN=device-127.0.0.1）"),
              std::string::npos)
        << sent.out;
    EXPECT_NE(sent.out.find("校验通过"), std::string::npos);
    ASSERT_EQ(device->ReadLine(), "image " + stored);
    const std::string image = ReadAll(Dump());
    EXPECT_EQ(ReadAll(stored).substr(0, image.size()), image);

    // The reader may not write: exception 01 for every chunk, said once as
    // the role's, nothing stored.
    const std::string other = m_dir.WriteSized("other.htm", 500, 9);
    auto refused = RunProgram(With({kCli, "send", "127.0.0.1", port, other, "--dump",
                                    m_dir.Path() + "/b.dat"},
                                   As("reader")));
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_EQ(Count(refused.out, "设备以异常01（非法功能）拒绝写入：本证书的角色不允许写"), 1u)
        << refused.out;
    EXPECT_NE(refused.out.find("返回失败"), std::string::npos);

    // It verifies and pulls what the operator wrote.
    auto verified = RunProgram(With({kCli, "verify", "127.0.0.1", port, m_page}, As("reader")));
    EXPECT_EQ(verified.exitCode, 0) << verified.out;
    const std::string pulled = m_dir.Path() + "/pulled.img";
    auto pull = RunProgram(With({kCli, "pull", "127.0.0.1", port, "-o", pulled}, As("reader")));
    EXPECT_EQ(pull.exitCode, 0) << pull.out << pull.err;
    EXPECT_EQ(ReadAll(pulled), image);

    // A certificate with no role may do neither.
    auto unread = RunProgram(With({kCli, "verify", "127.0.0.1", port, m_page}, As("norole")));
    EXPECT_EQ(unread.exitCode, 4) << unread.out;
    EXPECT_NE(unread.out.find("异常1"), std::string::npos) << unread.out;
    EXPECT_EQ(Send(*device, As("norole")).exitCode, 1);
}

TEST_F(Tls, ADeviceThatFailsACheckIsSentNothingAndTheReasonSaid) {
    struct Impostor {
        std::string pair;
        std::string reason;
        std::vector<std::string> client;  // more options of the client
        std::string ca = "ca.pem";         // what the client trusts
    };
    const std::vector<Impostor> impostors = {
        {"device-other-ca", "设备证书的签发者未知（不是由所信任的CA证书签发的）", {}},
        {"device-expired", "设备证书已过期", {}},
        {"device-wrong-name", "设备证书上的名称不是所连接的地址", {}},
        // A CN is no name: only subjectAltName counts.
        {"device-cn-only", "设备证书上的名称不是所连接的地址", {"--tls-name", "localhost"}},
        // Each says what is wrong, not another fault.
        {"device-client-usage", "设备证书不是用于服务器的（密钥用法或扩展密钥用法不符）", {}},
        {"device-old-ca", "签发设备证书的CA证书已过期", {}, "old-ca.pem"},
    };
    for (const Impostor& impostor : impostors) {
        // The impostor trusts the client, so only the client's checks stand
        // between it and the image.
        auto device = std::make_unique<DeviceProcess>(
            kDevice, std::vector<std::string>{"--tls", "--cert", Cert(impostor.pair + ".pem"),
                                              "--key", Cert(impostor.pair + ".key"), "--ca",
                                              Cert("ca.pem")});
        ASSERT_TRUE(device->Ready());
        const std::string trace = m_dir.Path() + "/trace.txt";
        auto sent = Send(*device, With({"--tls", "--cert", Cert("operator.pem"), "--key",
                                        Cert("operator.key"), "--ca", Cert(impostor.ca),
                                        "--trace", trace},
                                       impostor.client));
        EXPECT_EQ(sent.exitCode, 3) << impostor.pair << sent.out;
        EXPECT_NE(sent.out.find("连接失败：" + impostor.reason), std::string::npos)
            << impostor.pair << sent.out;
        EXPECT_EQ(ReadAll(trace).find(" send "), std::string::npos) << impostor.pair;
    }

    // A host name is found in subjectAltName.
    {
        auto device = TlsDevice("device-dns");
        ASSERT_TRUE(device->Ready());
        EXPECT_EQ(Send(*device, With(As("operator"), {"--tls-name", "localhost"})).exitCode, 0);
        EXPECT_EQ(Send(*device, As("operator")).exitCode, 3);  // it names no address
    }

    // Another name checked on purpose, or none (said in the log).
    auto device = TlsDevice("device-wrong-name");
    ASSERT_TRUE(device->Ready());
    EXPECT_EQ(Send(*device, With(As("operator"), {"--tls-name", "10.9.9.9"})).exitCode, 0);
    auto any = Send(*device, With(As("operator"), {"--tls-name", "any"}));
    EXPECT_EQ(any.exitCode, 0);
    EXPECT_NE(any.out.find("TLS：不检查设备证书上的名称"), std::string::npos) << any.out;
    EXPECT_EQ(Send(*device, With(As("operator"), {"--tls-name", "10.9.9.8"})).exitCode, 3);
}

TEST_F(Tls, ACertificateWithTwoRolesOrAnUnreadableOneIsRefusedEverything) {
    const std::string stored = m_dir.Path() + "/memory.bin";
    const std::string log = m_dir.Path() + "/device.log";
    // Each of the two roles alone would be let write and read.
    auto device = LoggedTlsDevice("device", log,
                                  {"--write-role", "Operator", "--write-role", "Viewer",
                                   "--read-role", "Operator", "--read-role", "Viewer",
                                   "--image-out", stored});
    ASSERT_TRUE(device->Ready());
    const std::string port = device->ModbusPortText();
    for (const std::string pair : {"two-roles", "role-not-utf8"}) {
        auto sent = Send(*device, As(pair));
        EXPECT_EQ(sent.exitCode, 1) << pair << sent.out;
        EXPECT_NE(sent.out.find("设备以异常01（非法功能）拒绝写入"), std::string::npos) << sent.out;
        auto read = RunProgram(With({kCli, "verify", "127.0.0.1", port, m_page}, As(pair)));
        EXPECT_EQ(read.exitCode, 4) << pair << read.out;
        EXPECT_NE(read.out.find("异常1"), std::string::npos) << read.out;
    }
    EXPECT_EQ(device->ReadLine(1000), "");  // no write burst ended: nothing stored
    EXPECT_FALSE(std::filesystem::exists(stored));
    const std::string said = ReadAll(log);
    EXPECT_EQ(Count(said, "the client certificate CN=two-roles names more than one role"), 2u)
        << said;  // once per connection: the send's and the verify's

    // Refused even where the device names no roles at all.
    auto open = TlsDevice("device");
    ASSERT_TRUE(open->Ready());
    EXPECT_EQ(Send(*open, As("two-roles")).exitCode, 1);

    // An empty role is a usage error, not a role that a certificate without
    // one would hold: the device never listens.
    for (const std::string option : {"--write-role", "--read-role"}) {
        auto refused = LoggedTlsDevice("device", log, {option, ""});
        EXPECT_FALSE(refused->Ready()) << option;
        EXPECT_EQ(refused->Stop(), 2) << option;
        EXPECT_NE(ReadAll(log).find("need a role"), std::string::npos) << ReadAll(log);
    }
}

TEST_F(Tls, IdleSocketsCannotHoldTheDevicesTlsPort) {
    const std::string log = m_dir.Path() + "/device.log";
    auto device = LoggedTlsDevice("device", log, {"--handshake-timeout", "500"});
    ASSERT_TRUE(device->Ready());
    // Twice the connections a port holds, none starting its handshake.
    std::vector<std::unique_ptr<test::LoopbackClient>> idle;
    for (int i = 0; i < 128; ++i) {
        idle.push_back(std::make_unique<test::LoopbackClient>(device->ModbusPort()));
        ASSERT_TRUE(idle.back()->Connected());
    }
    // A client that sends a byte of its hello every 100 ms is slow, not busy.
    test::LoopbackClient slow(device->ModbusPort());
    const auto start = Clock::now();
    // A client with a valid certificate gets in (the device would close a
    // connection past its places at once, and the send has no retries): the
    // oldest socket still in its handshake makes room.
    auto sent = Send(*device, As("operator"));
    EXPECT_EQ(sent.exitCode, 0) << sent.out;
    // Dropped at 500 ms, however it trickles.
    const std::string hello("\x16\x03\x01\x02\x00", 5);  // a record of 512 bytes, then zeros
    bool slowSent = true;
    for (std::size_t i = 0; slowSent && SecondsSince(start) < 4; ++i) {
        slowSent = slow.Send(i < hello.size() ? hello.substr(i, 1) : std::string(1, '\0'));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_FALSE(slowSent);
    // Every idle one is dropped too: to make room, or at 500 ms.
    for (auto& client : idle) {
        EXPECT_EQ(client->ReceiveAll(100), "");
        ASSERT_TRUE(client->PeerClosed());
    }
    // Said once for the address, not once a socket.
    device.reset();
    const std::string said = ReadAll(log);
    EXPECT_EQ(Count(said, "127.0.0.1: a TLS handshake on"), 2u) << said;
    EXPECT_EQ(Count(said, "not finished within 500 ms was dropped"), 1u) << said;
    EXPECT_EQ(Count(said, "dropped to make room"), 1u) << said;

    // The time must make sense.
    for (const std::string bad : {"0", "-1", "x"}) {
        auto refused = RunProgram({kDevice, "--modbus-port", "0", "--http-port", "0", "--tls",
                                   "--cert", Cert("device.pem"), "--key", Cert("device.key"),
                                   "--ca", Cert("ca.pem"), "--handshake-timeout", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad;
    }
}

TEST_F(Tls, TheDeviceStoresNothingFromAClientItCannotTrust) {
    const std::string stored = m_dir.Path() + "/memory.bin";
    auto device = TlsDevice("device", {"--image-out", stored});
    ASSERT_TRUE(device->Ready());
    auto refused = Send(*device, As("client-other-ca"));
    EXPECT_EQ(refused.exitCode, 3) << refused.out;
    EXPECT_NE(refused.out.find("连接失败：设备不接受本客户端的证书（tlsv1 alert unknown ca）"),
              std::string::npos)
        << refused.out;
    // A plain client is no Modbus client of a TLS port either.
    EXPECT_EQ(Send(*device, {"--retries", "0"}).exitCode, 1);
    EXPECT_EQ(device->ReadLine(1000), "");  // no write burst ended: nothing stored
    EXPECT_FALSE(std::filesystem::exists(stored));
}

TEST_F(Tls, TheClientsFilesAreCheckedBeforeConnecting) {
    auto device = TlsDevice("device");
    ASSERT_TRUE(device->Ready());
    const auto withKey = [&](const std::string& key, std::vector<std::string> more = {}) {
        return Send(*device, With({"--tls", "--cert", Cert("operator.pem"), "--key", key, "--ca",
                                   Cert("ca.pem")},
                                  more));
    };
    auto locked = withKey(Cert("operator-enc.key"));
    EXPECT_EQ(locked.exitCode, 2);
    EXPECT_NE(locked.err.find("operator-enc.key"), std::string::npos) << locked.err;
    EXPECT_EQ(withKey(Cert("operator-enc.key"), {"--key-password-file", Cert("passphrase")}).exitCode,
              0);
    auto wrong = withKey(Cert("operator-enc.key"),
                         {"--key-password-file", m_dir.Write("wrong", "not it\n")});
    EXPECT_EQ(wrong.exitCode, 2);
    auto mismatch = withKey(Cert("reader.key"));
    EXPECT_EQ(mismatch.exitCode, 2);
    EXPECT_NE(mismatch.err.find("reader.key"), std::string::npos) << mismatch.err;
    auto missing = withKey(m_dir.Path() + "/none.key");
    EXPECT_EQ(missing.exitCode, 2);

    // A key others may read is used, with a warning.
    const std::string open = m_dir.Write("open.key", ReadAll(Cert("operator.key")));
    std::filesystem::permissions(open, std::filesystem::perms(0644));
    auto warned = withKey(open);
    EXPECT_EQ(warned.exitCode, 0) << warned.out << warned.err;
    EXPECT_NE(warned.out.find(open), std::string::npos) << warned.out;

    // TLS files are inputs: no output may overwrite one.
    auto overwrite = RunProgram(With({kCli, "send", "127.0.0.1", device->ModbusPortText(), m_page,
                                      "--dump", Cert("operator.key")},
                                     As("operator")));
    EXPECT_EQ(overwrite.exitCode, 2);
    EXPECT_FALSE(ReadAll(Cert("operator.key")).empty());
}

TEST_F(Tls, AReconnectResumesTheSession) {
    const std::string stored = m_dir.Path() + "/memory.bin";
    auto device = TlsDevice("device", {"--fault", "close-after=5", "--image-out", stored});
    ASSERT_TRUE(device->Ready());
    const std::string trace = m_dir.Path() + "/trace.txt";
    auto sent = Send(*device, With(As("operator"), {"--retries", "2", "--trace", trace}));
    ASSERT_EQ(sent.exitCode, 0) << sent.out;
    const std::string text = ReadAll(trace);
    EXPECT_EQ(Count(text, "note connected (TLSv1.3, full handshake)"), 1u) << text;
    EXPECT_GE(Count(text, "note connected again (TLSv1.3, session resumed)"), 4u) << text;
    EXPECT_EQ(Count(text, "full handshake"), 1u);
}

// A listener that never accepts: the kernel completes the TCP connection,
// no TLS answer ever comes.
class StalledListener {
  public:
    StalledListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~StalledListener() { ::close(m_fd); }
    std::string Port() const { return std::to_string(m_port); }

  private:
    int m_fd = -1;
    int m_port = 0;
};

TEST_F(Tls, FaultsEndWithinTheTimeOutsOfPlainModbus) {
    // The same faults, plain and through TLS: the same lines after the
    // connect, the same exit code, in about the same time.
    m_page = m_dir.WriteSized("small.htm", 300);  // 4 chunks
    for (const std::string fault : {"silent", "trickle=3", "stream=1", "close-after=4"}) {
        DeviceProcess plain(kDevice, {"--fault", fault});
        auto secure = TlsDevice("device", {"--fault", fault});
        ASSERT_TRUE(plain.Ready() && secure->Ready());
        auto start = Clock::now();
        auto overPlain = Send(plain, {});
        const double plainSeconds = SecondsSince(start);
        start = Clock::now();
        auto overTls = Send(*secure, As("operator"));
        const double tlsSeconds = SecondsSince(start);
        EXPECT_EQ(overTls.exitCode, overPlain.exitCode) << fault;
        const auto afterConnect = [](const std::string& out) {
            return out.substr(out.find('\n') + 1);
        };
        EXPECT_EQ(afterConnect(overTls.out), afterConnect(overPlain.out)) << fault;
        EXPECT_LT(tlsSeconds, plainSeconds * 1.5 + 0.5) << fault;
    }

    // A handshake that stalls ends at the connect time-out.
    StalledListener stalled;
    const auto start = Clock::now();
    auto sent = RunProgram(With({kCli, "send", "127.0.0.1", stalled.Port(), m_page, "--dump",
                                 Dump(), "--timeout", "500"},
                                As("operator")));
    EXPECT_EQ(sent.exitCode, 3);
    EXPECT_NE(sent.out.find("连接失败：TLS握手在连接时限内没有完成"), std::string::npos) << sent.out;
    EXPECT_LT(SecondsSince(start), 1.5);
}

// The SHA-256 fingerprint openssl x509 gives of the certificate at path:
// lowercase, no colons.
std::string OpensslFingerprint(const std::string& path) {
    const test::RunResult shown =
        RunProgram({"/usr/bin/openssl", "x509", "-in", path, "-noout", "-fingerprint", "-sha256"});
    std::string digits = shown.out.substr(shown.out.find('=') + 1);
    std::erase_if(digits, [](char c) { return c == ':' || c == '\n'; });
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return digits;
}

TEST_F(Tls, EachSideHasThePeerCertificatesFingerprint) {
    // A client and a server stream in this process, over a socket pair.
    tls::Failure failure = tls::Failure::kNone;
    std::string detail;
    auto server = tls::Context::Server({Cert("device.pem"), Cert("device.key"), Cert("ca.pem")},
                                       &failure, &detail);
    tls::ClientSettings settings;
    settings.cert = Cert("operator.pem");
    settings.key = Cert("operator.key");
    settings.ca = Cert("ca.pem");
    auto client = tls::Context::Client(settings, &failure, &detail);
    ASSERT_TRUE(server && client) << detail;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    for (int fd : pair) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    {
        tls::Stream near(client, pair[0], "127.0.0.1", "127.0.0.1:802");
        tls::Stream far(server, pair[1]);
        net::Status nearStep = net::Status::kWouldBlock;
        net::Status farStep = net::Status::kWouldBlock;
        for (int turn = 0; turn < 2000 && (nearStep != net::Status::kOk ||
                                            farStep != net::Status::kOk);
             ++turn) {
            bool read = false;
            bool write = false;
            nearStep = near.Handshake(&read, &write);
            farStep = far.Handshake(&read, &write);
            ASSERT_NE(nearStep, net::Status::kFailed) << near.Detail();
            ASSERT_NE(farStep, net::Status::kFailed) << far.Detail();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(nearStep, net::Status::kOk);
        EXPECT_EQ(near.PeerFingerprint(), OpensslFingerprint(Cert("device.pem")));
        EXPECT_EQ(near.PeerFingerprint().size(), 64u);
        EXPECT_EQ(far.PeerFingerprint(), OpensslFingerprint(Cert("operator.pem")));
    }
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST_F(Tls, TheJournalSaysHowADeviceOverTlsWasKnown) {
    auto device = TlsDevice("device");
    ASSERT_TRUE(device->Ready());
    const std::string journal = m_dir.Path() + "/journal.sqlite";
    ASSERT_EQ(Send(*device, With(As("operator"), {"--journal", journal})).exitCode, 0);
    ASSERT_EQ(Send(*device, With(As("operator"), {"--journal", journal, "--tls-name", "any"}))
                  .exitCode,
              0);
    const std::string records = RunProgram({kCli, "history", "--json", "--journal", journal}).out;
    const std::string known = "\"sha256\":\"" + OpensslFingerprint(Cert("device.pem")) + "\"";
    EXPECT_EQ(Count(records, "\"tls\":{\"version\":\"TLSv1."), 2u) << records;
    EXPECT_EQ(Count(records, known + ",\"name_check\":\"address\",\"name\":null}"), 1u) << records;
    EXPECT_EQ(Count(records, known + ",\"name_check\":\"any\",\"name\":null}"), 1u) << records;
}

TEST_F(Tls, AFleetOfTlsDevicesIsServedOnItsOneLoop) {
    auto devices = TlsDevice("device", {"--count", "3", "--write-role", "Operator"});
    ASSERT_TRUE(devices->Ready());
    std::string targets = "127.0.0.1:" + devices->ModbusPortText() + "\n";
    for (int k = 0; k < 2; ++k) {
        const std::string line = devices->ReadLine();
        const std::size_t colon = line.find(':');
        targets += "127.0.0.1:" + line.substr(colon + 1, line.find(' ', colon) - colon - 1) + "\n";
    }
    const std::string file = m_dir.Write("targets.txt", targets);
    const auto fleet = [&](const std::string& pair) {
        return RunProgram(With({kCli, "fleet", "--targets", file, m_page, "--dump", Dump(),
                                "--json"},
                               As(pair)));
    };
    auto written = fleet("operator");
    EXPECT_EQ(written.exitCode, 0) << written.out << written.err;
    EXPECT_EQ(Count(written.out, "\"ok\": true"), 3u) << written.out;

    // The reader's writes are refused: nothing written, said per device.
    auto refused = fleet("reader");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(Count(refused.out, "\"bytes_written\": 0,"), 3u) << refused.out;

    auto distrusted = fleet("client-other-ca");
    EXPECT_EQ(distrusted.exitCode, 1);
    EXPECT_EQ(Count(distrusted.err + distrusted.out, "设备不接受本客户端的证书"), 3u)
        << distrusted.out << distrusted.err;
}

}  // namespace
}  // namespace kelvarin
