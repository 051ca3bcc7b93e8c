// CSocketLink on POSIX sockets: non-blocking, with poll() for every wait.
#include "socket_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kelvarin {

namespace {

// Waits until fd is ready for events or timeoutMs passes, restarting after
// signals with the time left. Returns poll's revents, 0 on time-out, -1 on error.
int WaitFor(int fd, short events, int timeoutMs) {
    CTickTimer timer;
    timer.Start();
    for (;;) {
        int left = timeoutMs - static_cast<int>(timer.Elapsed());
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, left < 0 ? 0 : left);
        if (ready > 0) {
            return entry.revents;
        }
        if (ready == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

}  // namespace

CSocketLink::CSocketLink() = default;

CSocketLink::~CSocketLink() {
    Close();
}

bool CSocketLink::IsOpen() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_open;
}

bool CSocketLink::IsConnected() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connected;
}

bool CSocketLink::Open(int localPort, bool datagram, const LinkTimeouts& timeouts) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_open) {
        return false;
    }
    m_timeouts = timeouts;
    m_datagram = datagram;
    int fd =
        ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<std::uint16_t>(localPort));
    if (localPort < 0 || localPort > 65535 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return false;
    }
    if (!datagram) {
        // One small request at a time: send each at once, not after an ACK.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    m_socket = fd;
    m_open = true;
    return true;
}

bool CSocketLink::ResolvePeer(void* address) const {
    auto* peer = static_cast<sockaddr_in*>(address);
    *peer = sockaddr_in{};
    peer->sin_family = AF_INET;
    peer->sin_port = htons(static_cast<std::uint16_t>(m_port));
    if (::inet_pton(AF_INET, m_host.c_str(), &peer->sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = m_datagram ? SOCK_DGRAM : SOCK_STREAM;
        addrinfo* found = nullptr;
        if (m_host.empty() || ::getaddrinfo(m_host.c_str(), nullptr, &hints, &found) != 0 ||
            !found) {
            errno = EINVAL;
            return false;
        }
        peer->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    // 0.0.0.0 names no device: a connect to it would reach this machine.
    if (peer->sin_addr.s_addr == htonl(INADDR_ANY)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool CSocketLink::Connect(const std::string& host, int port) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || m_connected) {
        return false;
    }
    m_host = host;
    m_port = port;
    if (port < 1 || port > 65535) {
        errno = EINVAL;
        return false;
    }
    sockaddr_in peer{};
    if (!ResolvePeer(&peer)) {
        return false;
    }
    if (m_datagram) {
        m_connected = true;
        return true;
    }
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
        m_connected = true;
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    int ready = WaitFor(m_socket, POLLOUT, m_timeouts.connectMs);
    if (ready <= 0) {
        errno = ready == 0 ? ETIMEDOUT : errno;
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        errno = error;
        return false;
    }
    m_connected = true;
    return true;
}

int CSocketLink::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_open) {
        ::close(m_socket);
        m_socket = -1;
        m_open = false;
        m_connected = false;
    }
    return 0;
}

int CSocketLink::Send(const void* data, int length) {
    return SendFor(data, length, m_timeouts.sendMs);
}

int CSocketLink::SendFor(const void* data, int length, int timeoutMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected || length <= 0) {
        return 0;
    }
    return SendLocked(data, length, timeoutMs);
}

int CSocketLink::SendLocked(const void* data, int length, int timeoutMs) {
    if (m_datagram) {
        sockaddr_in peer{};
        if (!ResolvePeer(&peer)) {
            return -1;
        }
        ssize_t sent = ::sendto(m_socket, data, static_cast<std::size_t>(length), MSG_NOSIGNAL,
                                reinterpret_cast<sockaddr*>(&peer), sizeof peer);
        return sent == length ? length : -1;
    }
    // A stream send may take several calls when the socket buffer is full;
    // the frame goes out whole or the send fails.
    const auto* bytes = static_cast<const unsigned char*>(data);
    int done = 0;
    while (done < length) {
        ssize_t sent =
            ::send(m_socket, bytes + done, static_cast<std::size_t>(length - done), MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<int>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (WaitFor(m_socket, POLLOUT, timeoutMs) <= 0) {
                return -1;
            }
        } else {
            return -1;
        }
    }
    return length;
}

int CSocketLink::Receive(void* buffer, int length) {
    return ReceiveFor(buffer, length, m_timeouts.replyMs);
}

int CSocketLink::ReceiveFor(void* buffer, int length, int timeoutMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return 0;
    }
    return WaitAndReceive(buffer, length, timeoutMs);
}

int CSocketLink::WaitAndReceive(void* buffer, int length, int timeoutMs) {
    if (length <= 0) {
        return 0;
    }
    const std::size_t most =
        static_cast<std::size_t>(length < kReceiveBufferSize ? length : kReceiveBufferSize);
    m_timer.Start();
    for (;;) {
        ssize_t got = ::recv(m_socket, buffer, most, 0);
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got == 0 && !m_datagram) {
            return -1;  // the peer closed the connection
        }
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return -1;
        }
        int left = timeoutMs - static_cast<int>(m_timer.Elapsed());
        if (left <= 0) {
            return 0;
        }
        int ready = WaitFor(m_socket, POLLIN, left);
        if (ready == 0) {
            return 0;
        }
        if (ready < 0) {
            return -1;
        }
        // Readable, hung up or in error: the next recv tells which.
    }
}

}  // namespace kelvarin
