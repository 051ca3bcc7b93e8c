// The socket layer on Windows: Winsock 2, non-blocking sockets and select().
//
// select() rather than WSAPoll(): WSAPoll does not report a connect that was
// refused (neither POLLERR nor POLLHUP comes; the wait runs to its time-out)
// on Windows before Windows 10 version 2004, while select() reports it in the
// exception set on every version. The sets are sized for a fleet.
#include "net_system.h"

#include "ipv4.h"
#include "tick_timer.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kelvarin::net {

namespace {

SOCKET Raw(Socket socket) {
    return static_cast<SOCKET>(socket);
}

bool MakeNonBlocking(SOCKET socket) {
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}

void NoSendDelay(SOCKET socket) {
    BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

// fd_sets on the heap: FD_SETSIZE sockets make them large.
struct SocketSets {
    fd_set read;
    fd_set write;
    fd_set except;
};

}  // namespace

bool Startup() {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

Socket Open(bool datagram, int localPort) {
    if (localPort < 0 || localPort > 65535 || !Startup()) {
        return kNoSocket;
    }
    const SOCKET socket = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM,
                                   datagram ? IPPROTO_UDP : IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return kNoSocket;
    }
    const sockaddr_in local = AddressOf({INADDR_ANY, static_cast<std::uint16_t>(localPort)});
    if (!MakeNonBlocking(socket) ||
        bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        closesocket(socket);
        return kNoSocket;
    }
    if (!datagram) {
        NoSendDelay(socket);
    }
    return static_cast<Socket>(socket);
}

void Close(Socket socket) {
    if (socket != kNoSocket) {
        closesocket(Raw(socket));
    }
}

ConnectStart StartConnect(Socket socket, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    if (connect(Raw(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return ConnectStart::kConnected;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? ConnectStart::kInProgress : ConnectStart::kFailed;
}

bool ConnectSucceeded(Socket socket) {
    int error = 0;
    int size = sizeof error;
    return getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) ==
               0 &&
           error == 0;
}

long Send(Socket socket, const void* data, std::size_t length) {
    const int sent = send(Raw(socket), static_cast<const char*>(data),
                          static_cast<int>(std::min<std::size_t>(length, 1u << 30)), 0);
    if (sent != SOCKET_ERROR) {
        return sent;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

long SendTo(Socket socket, const void* data, std::size_t length, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    const int sent = sendto(Raw(socket), static_cast<const char*>(data), static_cast<int>(length),
                            0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<int>(length) ? sent : kFailed;
}

long Receive(Socket socket, void* buffer, std::size_t length) {
    const int got = recv(Raw(socket), static_cast<char*>(buffer),
                         static_cast<int>(std::min<std::size_t>(length, 1u << 30)), 0);
    if (got != SOCKET_ERROR) {
        return got;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

int Poll(std::span<PollEntry> entries, int timeoutMs) {
    auto sets = std::make_unique<SocketSets>();
    FD_ZERO(&sets->read);
    FD_ZERO(&sets->write);
    FD_ZERO(&sets->except);
    std::size_t watched = 0;
    for (const PollEntry& entry : entries) {
        if (entry.socket == kNoSocket || (!entry.wantRead && !entry.wantWrite)) {
            continue;
        }
        if (entry.wantRead) {
            FD_SET(Raw(entry.socket), &sets->read);
        }
        if (entry.wantWrite) {
            FD_SET(Raw(entry.socket), &sets->write);
        }
        FD_SET(Raw(entry.socket), &sets->except);  // a connect that failed, an error
        ++watched;
    }
    if (watched == 0) {
        // select() refuses empty sets; the wait is only a wait.
        Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        for (PollEntry& entry : entries) {
            entry.readable = entry.writable = false;
        }
        return 0;
    }
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    const int ready =
        select(0, &sets->read, &sets->write, &sets->except, timeoutMs < 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR) {
        return -1;
    }
    int count = 0;
    for (PollEntry& entry : entries) {
        const bool trouble =
            entry.socket != kNoSocket && FD_ISSET(Raw(entry.socket), &sets->except);
        entry.readable = entry.wantRead && (FD_ISSET(Raw(entry.socket), &sets->read) || trouble);
        entry.writable = entry.wantWrite && (FD_ISSET(Raw(entry.socket), &sets->write) || trouble);
        count += (entry.readable || entry.writable) ? 1 : 0;
    }
    return count;
}

std::size_t MaxWaitSockets() {
    return FD_SETSIZE;
}

Socket Listen(const std::string& address, int port, std::string* error) {
    const std::optional<std::uint32_t> bound = ParseDottedQuad(address);
    if (!Startup() || port < 0 || port > 65535 || !bound) {
        *error = "bad address " + address + ":" + std::to_string(port);
        return kNoSocket;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        *error = LastError();
        return kNoSocket;
    }
    // No other program may take the port while it is ours.
    BOOL exclusive = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    const sockaddr_in local = AddressOf({*bound, static_cast<std::uint16_t>(port)});
    if (!MakeNonBlocking(socket) ||
        bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(socket, SOMAXCONN) != 0) {
        *error = LastError();
        closesocket(socket);
        return kNoSocket;
    }
    return static_cast<Socket>(socket);
}

Socket Accept(Socket listener) {
    const SOCKET socket = accept(Raw(listener), nullptr, nullptr);
    if (socket == INVALID_SOCKET) {
        return kNoSocket;
    }
    MakeNonBlocking(socket);
    NoSendDelay(socket);
    return static_cast<Socket>(socket);
}

std::string LocalAddress(Socket socket) {
    sockaddr_in address{};
    int size = sizeof address;
    getsockname(Raw(socket), reinterpret_cast<sockaddr*>(&address), &size);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

void ShutdownSend(Socket socket) {
    shutdown(Raw(socket), SD_SEND);
}

std::string LastError() {
    const int code = WSAGetLastError();
    char text[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "socket error " + std::to_string(code) : message;
}

}  // namespace kelvarin::net
