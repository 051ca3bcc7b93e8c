// The socket layer on Windows: Winsock 2, non-blocking sockets and select().
//
// select() rather than WSAPoll(): WSAPoll does not report a connect that was
// refused (neither POLLERR nor POLLHUP comes; the wait runs to its time-out)
// on Windows before Windows 10 version 2004, while select() reports it in the
// exception set on every version. The sets are sized for a fleet.
#include "net_system.h"

#include "tick_timer.h"

#include <iphlpapi.h>

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

Status Startup() {
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready ? Status::kOk : Status::kFailed;
}

Socket Open(bool datagram, int localPort) {
    if (localPort < 0 || localPort > 65535 || Startup() != Status::kOk) {
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

Status StartConnect(Socket socket, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    if (connect(Raw(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return Status::kOk;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? Status::kWouldBlock : Status::kFailed;
}

Status ConnectResult(Socket socket) {
    int error = 0;
    int size = sizeof error;
    const bool ok =
        getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) ==
            0 &&
        error == 0;
    if (error != 0) {
        WSASetLastError(error);  // for LastError
    }
    return ok ? Status::kOk : Status::kFailed;
}

IoResult Send(Socket socket, const void* data, std::size_t length) {
    const int sent = send(Raw(socket), static_cast<const char*>(data),
                          static_cast<int>(std::min<std::size_t>(length, 1u << 30)), 0);
    if (sent > 0 || (sent == 0 && length == 0)) {
        return {Status::kOk, static_cast<std::size_t>(sent)};
    }
    if (sent == 0 || WSAGetLastError() == WSAEWOULDBLOCK) {
        return {Status::kWouldBlock, 0};
    }
    return {Status::kFailed, 0};
}

IoResult SendTo(Socket socket, const void* data, std::size_t length, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    const int sent = sendto(Raw(socket), static_cast<const char*>(data), static_cast<int>(length),
                            0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<int>(length) ? IoResult{Status::kOk, length}
                                            : IoResult{Status::kFailed, 0};
}

IoResult Receive(Socket socket, void* buffer, std::size_t length) {
    const int got = recv(Raw(socket), static_cast<char*>(buffer),
                         static_cast<int>(std::min<std::size_t>(length, 1u << 30)), 0);
    if (got > 0) {
        return {Status::kOk, static_cast<std::size_t>(got)};
    }
    if (got == 0) {
        // A stream's end; an empty datagram is only nothing.
        int type = SOCK_STREAM;
        int size = sizeof type;
        getsockopt(Raw(socket), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size);
        return {type == SOCK_STREAM ? Status::kClosed : Status::kWouldBlock, 0};
    }
    return {WSAGetLastError() == WSAEWOULDBLOCK ? Status::kWouldBlock : Status::kFailed, 0};
}

IoResult Poll(std::span<PollEntry> entries, int timeoutMs) {
    // The sets are filled by hand and read back through one sorted copy of
    // each: FD_SET scans its set for a duplicate and FD_ISSET scans it for
    // the socket, which for a fleet of thousands of sockets is quadratic.
    auto sets = std::make_unique<SocketSets>();
    sets->read.fd_count = sets->write.fd_count = sets->except.fd_count = 0;
    std::size_t watched = 0;
    for (const PollEntry& entry : entries) {
        if (entry.socket == kNoSocket || (!entry.wantRead && !entry.wantWrite)) {
            continue;
        }
        if (watched == FD_SETSIZE) {
            WSASetLastError(WSAEINVAL);  // more sockets than one wait can watch
            return {Status::kFailed, 0};
        }
        if (entry.wantRead) {
            sets->read.fd_array[sets->read.fd_count++] = Raw(entry.socket);
        }
        if (entry.wantWrite) {
            sets->write.fd_array[sets->write.fd_count++] = Raw(entry.socket);
        }
        // A connect that failed, or an error, shows in the exception set.
        sets->except.fd_array[sets->except.fd_count++] = Raw(entry.socket);
        ++watched;
    }
    if (watched == 0) {
        // select() refuses empty sets; the wait is only a wait.
        Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        for (PollEntry& entry : entries) {
            entry.readable = entry.writable = false;
        }
        return {Status::kTimedOut, 0};
    }
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    const int ready =
        select(0, &sets->read, &sets->write, &sets->except, timeoutMs < 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR) {
        return {Status::kFailed, 0};
    }
    const auto sorted = [](const fd_set& set) {
        std::vector<SOCKET> sockets(set.fd_array, set.fd_array + set.fd_count);
        std::sort(sockets.begin(), sockets.end());
        return sockets;
    };
    const std::vector<SOCKET> readable = sorted(sets->read);
    const std::vector<SOCKET> writable = sorted(sets->write);
    const std::vector<SOCKET> trouble = sorted(sets->except);
    const auto in = [](const std::vector<SOCKET>& set, Socket socket) {
        return socket != kNoSocket && std::binary_search(set.begin(), set.end(), Raw(socket));
    };
    std::size_t count = 0;
    for (PollEntry& entry : entries) {
        const bool failed = in(trouble, entry.socket);
        entry.readable = entry.wantRead && (in(readable, entry.socket) || failed);
        entry.writable = entry.wantWrite && (in(writable, entry.socket) || failed);
        count += (entry.readable || entry.writable) ? 1 : 0;
    }
    return {count == 0 ? Status::kTimedOut : Status::kOk, count};
}

std::size_t MaxWaitSockets() {
    return FD_SETSIZE;
}

Socket Listen(const Endpoint& local) {
    if (Startup() != Status::kOk) {
        return kNoSocket;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return kNoSocket;
    }
    // No other program may take the port while it is ours.
    BOOL exclusive = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    const sockaddr_in address = AddressOf(local);
    if (!MakeNonBlocking(socket) ||
        bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(socket, SOMAXCONN) != 0) {
        const int error = WSAGetLastError();
        closesocket(socket);
        WSASetLastError(error);  // for LastError
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

std::string PeerAddress(Socket socket) {
    sockaddr_in address{};
    int size = sizeof address;
    if (getpeername(Raw(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET) {
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

void ShutdownSend(Socket socket) {
    shutdown(Raw(socket), SD_SEND);
}

std::string LastError() {
    // The system's text in the user's language, from the wide call, as UTF-8
    // like every other text of the programs.
    const int code = WSAGetLastError();
    wchar_t text[512] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text / sizeof text[0], nullptr);
    std::string message;
    if (length > 0) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr,
                                              0, nullptr, nullptr);
        message.resize(static_cast<std::size_t>(bytes > 0 ? bytes : 0));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), message.data(), bytes,
                            nullptr, nullptr);
    }
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
            message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "socket error " + std::to_string(code) : message;
}

std::vector<LocalNetwork> LocalNetworks() {
    std::vector<LocalNetwork> networks;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    ULONG result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                                     GAA_FLAG_SKIP_DNS_SERVER,
                                        nullptr, adapters, &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        buffer.resize(size);
        adapters = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
        result = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                                   GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, adapters, &size);
    }
    if (result != NO_ERROR) {
        return networks;
    }
    for (const IP_ADAPTER_ADDRESSES* adapter = adapters; adapter; adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
             unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address && address->sa_family == AF_INET) {
                networks.push_back(
                    {ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr),
                     static_cast<int>(unicast->OnLinkPrefixLength)});
            }
        }
    }
    return networks;
}

}  // namespace kelvarin::net
