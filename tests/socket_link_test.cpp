// The socket link against real loopback sockets: connect outcomes, bounded
// waits without busy polling, peer close, whole sends.
#include "socket_link.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace kelvarin {
namespace {

// A loopback listener on a free port, with the given backlog.
class Listener {
  public:
    explicit Listener(int backlog = 8) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, backlog);
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~Listener() { Close(); }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    int Accept() { return ::accept(m_fd, nullptr, nullptr); }
    int Port() const { return m_port; }

  private:
    int m_fd = -1;
    int m_port = 0;
};

double ThreadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - since)
                                 .count());
}

TEST(SocketLink, StateRules) {
    CSocketLink link;
    char byte = 0;
    EXPECT_FALSE(link.Connect("127.0.0.1", 502));  // before Open
    EXPECT_EQ(link.Send(&byte, 1, 200).status, net::Status::kFailed);
    EXPECT_EQ(link.Receive(&byte, 1, 200).status, net::Status::kFailed);
    ASSERT_TRUE(link.Open(0, false, 200));
    EXPECT_FALSE(link.Open(0, false, 200));  // twice
    EXPECT_TRUE(link.IsOpen());
    EXPECT_FALSE(link.Connect("127.0.0.1", 70000));  // never wrapped to 4464
    EXPECT_FALSE(link.Connect("no such host.invalid", 502));
    EXPECT_EQ(link.Close(), 0);
    EXPECT_FALSE(link.IsOpen());
}

TEST(SocketLink, ConnectRefused) {
    Listener listener;
    int port = listener.Port();
    listener.Close();
    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 200));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Connect("127.0.0.1", port));
    EXPECT_LT(ElapsedMs(start), 150);
    EXPECT_FALSE(link.IsConnected());
}

TEST(SocketLink, ConnectGivesUpAfterTheTimeOut) {
    // A listener that never accepts, with its backlog full, drops new
    // handshakes: it stands in for a device that does not answer.
    Listener listener(0);
    std::vector<CSocketLink> fillers(4);
    for (auto& filler : fillers) {
        filler.Open(0, false, 50);
        filler.Connect("127.0.0.1", listener.Port());
    }
    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 200));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Connect("127.0.0.1", listener.Port()));
    long waited = ElapsedMs(start);
    EXPECT_GE(waited, 190);
    EXPECT_LT(waited, 600);
}

TEST(SocketLink, ReceiveTimesOutWithoutSpinning) {
    Listener listener;
    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 200));
    ASSERT_TRUE(link.Connect("127.0.0.1", listener.Port()));
    int peer = listener.Accept();
    char buffer[16];
    double cpuBefore = ThreadCpuMs();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).status, net::Status::kTimedOut);
    long waited = ElapsedMs(start);
    double cpu = ThreadCpuMs() - cpuBefore;
    EXPECT_GE(waited, 195);
    EXPECT_LT(waited, 400);
    EXPECT_LT(cpu, 10.0) << "the wait must sleep in poll(), not spin";

    ASSERT_EQ(::send(peer, "abc", 3, 0), 3);
    EXPECT_EQ(link.Receive(buffer, 2, 200).count, 2u);      // no more than asked for...
    EXPECT_EQ(link.Receive(buffer + 2, 8, 200).count, 1u);  // ...and nothing dropped
    EXPECT_EQ(std::string(buffer, 3), "abc");
    ::close(peer);
}

TEST(SocketLink, PeerCloseIsToldAtOnce) {
    Listener listener;
    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 200));
    ASSERT_TRUE(link.Connect("127.0.0.1", listener.Port()));
    ::close(listener.Accept());
    char buffer[16];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).status, net::Status::kClosed);
    EXPECT_LT(ElapsedMs(start), 100);
}

TEST(SocketLink, SendDeliversTheWholeFrame) {
    Listener listener;
    CSocketLink link;
    ASSERT_TRUE(link.Open(0, false, 2000));
    ASSERT_TRUE(link.Connect("127.0.0.1", listener.Port()));
    int peer = listener.Accept();
    // Larger than the socket buffers, so send() must be repeated.
    std::vector<char> frame(8 << 20, 'k');
    std::size_t received = 0;
    std::thread reader([&] {
        std::vector<char> sink(65536);
        ssize_t got = 0;
        while ((got = ::recv(peer, sink.data(), sink.size(), 0)) > 0) {
            received += static_cast<std::size_t>(got);
        }
    });
    EXPECT_EQ(link.Send(frame.data(), frame.size(), 2000).count, frame.size());
    link.Close();
    reader.join();
    ::close(peer);
    EXPECT_EQ(received, frame.size());
}

TEST(SocketLink, DatagramLinkSendsAndReceives) {
    int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    ::getsockname(peer, reinterpret_cast<sockaddr*>(&address), &size);

    CSocketLink link;
    ASSERT_TRUE(link.Open(0, true, 200));
    ASSERT_TRUE(link.Connect("127.0.0.1", ntohs(address.sin_port)));  // nothing sent yet
    EXPECT_EQ(link.Send("ping", 4, 200).count, 4u);
    char buffer[16];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    ASSERT_EQ(
        ::recvfrom(peer, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromSize),
        4);
    ::sendto(peer, "pong", 4, 0, reinterpret_cast<sockaddr*>(&from), fromSize);
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "pong");
    EXPECT_EQ(link.Receive(buffer, sizeof buffer, 200).status, net::Status::kTimedOut);
    ::close(peer);
}

TEST(TickTimer, ExpiryIsStrictAndSurvivesTheWrap) {
    CTickTimer timer;
    timer.Start(0xFFFFFF00u);
    EXPECT_FALSE(timer.ExpiredAt(0xFFFFFF00u + 200, 200.0f));
    EXPECT_TRUE(timer.ExpiredAt(0xFFFFFF00u + 201, 200.0f));
    EXPECT_FALSE(timer.ExpiredAt(0x10, 300.0f));  // 272 ms across the wrap
    EXPECT_TRUE(timer.ExpiredAt(0x40, 300.0f));   // 320 ms
}

}  // namespace
}  // namespace kelvarin
