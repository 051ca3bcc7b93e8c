// The blocking loopback client on Winsock, with select() for time-outs.
#include "loopback_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>

namespace kelvarin::test {

namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Winsock readied once for the test process.
bool Startup() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

SOCKET SocketOf(std::intptr_t fd) {
    return static_cast<SOCKET>(fd);
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

LoopbackClient::LoopbackClient(int port) {
    if (!Startup()) {
        return;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return;
    }
    m_fd = static_cast<std::intptr_t>(socket);
    const sockaddr_in address = Loopback(port);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

LoopbackClient::~LoopbackClient() {
    Close();
}

bool LoopbackClient::Send(std::string_view bytes) {
    while (m_fd >= 0 && !bytes.empty()) {
        const int sent = ::send(SocketOf(m_fd), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent == SOCKET_ERROR) {
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
    const long long left = deadlineMs - NowMs();
    if (left <= 0) {
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(SocketOf(m_fd), &readable);
    timeval wait{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) {
        return false;
    }
    char buffer[65536];
    const int got = ::recv(SocketOf(m_fd), buffer,
                           static_cast<int>(limit < sizeof buffer ? limit : sizeof buffer), 0);
    if (got <= 0) {
        m_peerClosed = true;
        return false;
    }
    ++m_reads;
    out.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string LoopbackClient::Receive(std::size_t size, int timeoutMs) {
    const long long deadline = NowMs() + timeoutMs;
    std::string out;
    while (out.size() < size && ReadOnce(out, size - out.size(), deadline)) {
    }
    return out;
}

std::string LoopbackClient::ReceiveAll(int timeoutMs) {
    const long long deadline = NowMs() + timeoutMs;
    std::string out;
    while (ReadOnce(out, 65536, deadline)) {
    }
    return out;
}

void LoopbackClient::Close() {
    if (m_fd >= 0) {
        ::closesocket(SocketOf(m_fd));
        m_fd = -1;
    }
}

int UnusedPort() {
    if (!Startup()) {
        return 0;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    int port = 0;
    if (socket != INVALID_SOCKET &&
        ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::closesocket(socket);
    return port;
}

}  // namespace kelvarin::test
