// The socket layer on POSIX: non-blocking sockets and poll().
#include "net_system.h"
#include "tick_timer.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <vector>

namespace kelvarin::net {

namespace {

int Fd(Socket socket) {
    return static_cast<int>(socket);
}

}  // namespace

Status Startup() {
    // A write to a connection the peer has closed reports an error; it must
    // not kill the process with SIGPIPE.
    static const bool ready = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    return ready ? Status::kOk : Status::kFailed;
}

Socket Open(bool datagram, int localPort) {
    if (localPort < 0 || localPort > 65535) {
        return kNoSocket;
    }
    const int fd =
        ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return kNoSocket;
    }
    const sockaddr_in local = AddressOf({INADDR_ANY, static_cast<std::uint16_t>(localPort)});
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    if (!datagram) {
        // One small request at a time: send each at once, not after an ACK.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

void Close(Socket socket) {
    if (socket != kNoSocket) {
        ::close(Fd(socket));
    }
}

Status StartConnect(Socket socket, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    if (::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return Status::kOk;
    }
    return errno == EINPROGRESS ? Status::kWouldBlock : Status::kFailed;
}

Status ConnectResult(Socket socket) {
    int error = 0;
    socklen_t size = sizeof error;
    const bool ok = ::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    if (error != 0) {
        errno = error;  // for LastError
    }
    return ok ? Status::kOk : Status::kFailed;
}

IoResult Send(Socket socket, const void* data, std::size_t length) {
    for (;;) {
        const ssize_t sent = ::send(Fd(socket), data, length, MSG_NOSIGNAL);
        if (sent > 0 || (sent == 0 && length == 0)) {
            return {Status::kOk, static_cast<std::size_t>(sent)};
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            return {Status::kWouldBlock, 0};
        }
        return {Status::kFailed, 0};
    }
}

IoResult SendTo(Socket socket, const void* data, std::size_t length, const Endpoint& peer) {
    const sockaddr_in address = AddressOf(peer);
    const ssize_t sent = ::sendto(Fd(socket), data, length, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == static_cast<ssize_t>(length) ? IoResult{Status::kOk, length}
                                                : IoResult{Status::kFailed, 0};
}

IoResult Receive(Socket socket, void* buffer, std::size_t length) {
    for (;;) {
        const ssize_t got = ::recv(Fd(socket), buffer, length, 0);
        if (got > 0) {
            return {Status::kOk, static_cast<std::size_t>(got)};
        }
        if (got == 0) {
            // A stream's end; an empty datagram is only nothing.
            int type = SOCK_STREAM;
            socklen_t size = sizeof type;
            ::getsockopt(Fd(socket), SOL_SOCKET, SO_TYPE, &type, &size);
            return {type == SOCK_STREAM ? Status::kClosed : Status::kWouldBlock, 0};
        }
        if (errno == EINTR) {
            continue;
        }
        return {errno == EAGAIN || errno == EWOULDBLOCK ? Status::kWouldBlock : Status::kFailed, 0};
    }
}

IoResult Poll(std::span<PollEntry> entries, int timeoutMs) {
    // One buffer a thread, reused: a fleet polls hundreds of sockets per turn.
    thread_local std::vector<pollfd> fds;
    fds.resize(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PollEntry& entry = entries[i];
        fds[i].fd = entry.socket == kNoSocket ? -1 : Fd(entry.socket);
        fds[i].events =
            static_cast<short>((entry.wantRead ? POLLIN : 0) | (entry.wantWrite ? POLLOUT : 0));
    }
    CTickTimer timer;
    timer.Start();
    int ready = 0;
    for (;;) {
        const int left =
            timeoutMs < 0 ? -1 : std::max(0, timeoutMs - static_cast<int>(timer.Elapsed()));
        ready = ::poll(fds.data(), fds.size(), left);
        if (ready >= 0 || errno != EINTR) {
            break;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const short revents = ready > 0 ? fds[i].revents : 0;
        // A hang-up or an error is news for whichever operation comes next.
        const bool trouble = (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        entries[i].readable = entries[i].wantRead && ((revents & POLLIN) != 0 || trouble);
        entries[i].writable = entries[i].wantWrite && ((revents & POLLOUT) != 0 || trouble);
    }
    if (ready < 0) {
        return {Status::kFailed, 0};
    }
    return {ready == 0 ? Status::kTimedOut : Status::kOk, static_cast<std::size_t>(ready)};
}

std::size_t MaxWaitSockets() {
    return SIZE_MAX;  // poll() takes any number
}

Socket Listen(const Endpoint& local) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return kNoSocket;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = AddressOf(local);
    // A long accept queue: a burst of clients waits for accept() instead of
    // having its handshakes dropped (and retried only a second later).
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;  // for LastError
        return kNoSocket;
    }
    return fd;
}

Socket Accept(Socket listener) {
    for (;;) {
        const int fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        if (errno != ECONNABORTED && errno != EINTR) {
            return kNoSocket;  // none waiting, or try again on the next wake-up
        }
        // That client gave up while queued: take the next.
    }
}

std::string LocalAddress(Socket socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &size);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string PeerAddress(Socket socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        address.sin_family != AF_INET) {
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

void ShutdownSend(Socket socket) {
    ::shutdown(Fd(socket), SHUT_WR);
}

std::string LastError() {
    return std::strerror(errno);
}

std::vector<LocalNetwork> LocalNetworks() {
    std::vector<LocalNetwork> networks;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return networks;
    }
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET || !entry->ifa_netmask ||
            (entry->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        const std::uint32_t address =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        const std::uint32_t mask =
            ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        int prefix = 0;
        for (std::uint32_t bit = 0x80000000u; bit != 0 && (mask & bit); bit >>= 1) {
            ++prefix;
        }
        networks.push_back({address, prefix});
    }
    ::freeifaddrs(list);
    return networks;
}

}  // namespace kelvarin::net
