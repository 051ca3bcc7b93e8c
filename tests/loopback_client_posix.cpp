// The blocking loopback client, with poll() for time-outs.
#include "loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>

namespace kelvarin::test {

namespace {

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

}  // namespace

LoopbackClient::LoopbackClient(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd >= 0 && ::connect(static_cast<int>(m_fd), reinterpret_cast<sockaddr*>(&address),
                               sizeof address) != 0) {
        Close();
    }
}

LoopbackClient::~LoopbackClient() {
    Close();
}

bool LoopbackClient::Send(std::string_view bytes) {
    while (m_fd >= 0 && !bytes.empty()) {
        ssize_t sent = ::send(static_cast<int>(m_fd), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return m_fd >= 0;
}

bool LoopbackClient::ReadOnce(std::string& out, std::size_t limit, long long deadlineMs) {
    if (m_fd < 0 || m_peerClosed) {
        return false;
    }
    long long left = deadlineMs - NowMs();
    pollfd fd{static_cast<int>(m_fd), POLLIN, 0};
    if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
        return false;
    }
    char buffer[65536];
    ssize_t got =
        ::recv(static_cast<int>(m_fd), buffer, limit < sizeof buffer ? limit : sizeof buffer, 0);
    if (got <= 0) {
        m_peerClosed = true;
        return false;
    }
    ++m_reads;
    out.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string LoopbackClient::Receive(std::size_t size, int timeoutMs) {
    long long deadline = NowMs() + timeoutMs;
    std::string out;
    while (out.size() < size && ReadOnce(out, size - out.size(), deadline)) {
    }
    return out;
}

std::string LoopbackClient::ReceiveAll(int timeoutMs) {
    long long deadline = NowMs() + timeoutMs;
    std::string out;
    while (ReadOnce(out, 65536, deadline)) {
    }
    return out;
}

void LoopbackClient::Close() {
    if (m_fd >= 0) {
        ::close(static_cast<int>(m_fd));
        m_fd = -1;
    }
}

int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace kelvarin::test
