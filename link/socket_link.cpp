// CSocketLink over the socket layer: non-blocking, a wait for every wait.
#include "socket_link.h"

namespace kelvarin {

CSocketLink::CSocketLink() {
    net::Startup();
}

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
    m_localPort = localPort;
    m_socket = net::Open(datagram, localPort);
    m_open = m_socket != net::kNoSocket;
    return m_open;
}

bool CSocketLink::Connect(const std::string& host, int port) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || m_connected) {
        return false;
    }
    m_host = host;
    m_port = port;
    if (port < 1 || port > 65535) {
        return false;
    }
    const std::optional<net::Endpoint> peer = net::Resolve(host, port);
    if (!peer) {
        return false;
    }
    m_peer = *peer;
    return ConnectLocked();
}

bool CSocketLink::ConnectLocked() {
    if (m_datagram) {
        m_connected = true;
        return true;
    }
    switch (net::StartConnect(m_socket, m_peer)) {
        case net::Status::kOk:
            m_connected = true;
            return true;
        case net::Status::kWouldBlock:
            break;
        default:
            return false;
    }
    m_connected = net::WaitFor(m_socket, false, true, m_timeouts.connectMs) == net::Status::kOk &&
                  net::ConnectResult(m_socket) == net::Status::kOk;
    return m_connected;
}

net::Status CSocketLink::Reconnect() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || m_peer.port == 0) {
        return net::Status::kFailed;  // never connected: no peer to return to
    }
    net::Close(m_socket);
    m_connected = false;
    m_socket = net::Open(m_datagram, m_localPort);
    m_open = m_socket != net::kNoSocket;
    return m_open && ConnectLocked() ? net::Status::kOk : net::Status::kFailed;
}

int CSocketLink::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_open) {
        net::Close(m_socket);
        m_socket = net::kNoSocket;
        m_open = false;
        m_connected = false;
    }
    return 0;
}

int CSocketLink::Send(const void* data, int length) {
    if (length <= 0) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return 0;
    }
    const net::IoResult sent =
        SendLocked(data, static_cast<std::size_t>(length), m_timeouts.sendMs);
    return sent.Ok() ? length : -1;
}

net::IoResult CSocketLink::SendFor(const void* data, std::size_t length, int timeoutMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return {net::Status::kFailed, 0};
    }
    return SendLocked(data, length, timeoutMs);
}

net::IoResult CSocketLink::SendLocked(const void* data, std::size_t length, int timeoutMs) {
    if (m_datagram) {
        return net::SendTo(m_socket, data, length, m_peer);
    }
    // A stream send may take several calls when the socket buffer is full;
    // the frame goes out whole or the send fails.
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    m_timer.Start();
    while (done < length) {
        const net::IoResult sent = net::Send(m_socket, bytes + done, length - done);
        if (sent.Ok()) {
            done += sent.count;
            continue;
        }
        if (sent.status != net::Status::kWouldBlock) {
            return {net::Status::kFailed, 0};
        }
        const int left = timeoutMs - static_cast<int>(m_timer.Elapsed());
        const net::Status ready =
            left > 0 ? net::WaitFor(m_socket, false, true, left) : net::Status::kTimedOut;
        if (ready != net::Status::kOk) {
            return {ready == net::Status::kTimedOut ? net::Status::kTimedOut : net::Status::kFailed,
                    0};
        }
    }
    return {net::Status::kOk, length};
}

int CSocketLink::Receive(void* buffer, int length) {
    if (length <= 0) {
        return 0;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return 0;
    }
    const net::IoResult got =
        WaitAndReceive(buffer, static_cast<std::size_t>(length), m_timeouts.replyMs);
    switch (got.status) {
        case net::Status::kOk:
            return static_cast<int>(got.count);
        case net::Status::kTimedOut:
        case net::Status::kWouldBlock:
            return 0;
        default:
            return -1;
    }
}

net::IoResult CSocketLink::ReceiveFor(void* buffer, std::size_t length, int timeoutMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return {net::Status::kFailed, 0};
    }
    return WaitAndReceive(buffer, length, timeoutMs);
}

net::IoResult CSocketLink::WaitAndReceive(void* buffer, std::size_t length, int timeoutMs) {
    if (length == 0) {
        return {net::Status::kTimedOut, 0};
    }
    const std::size_t most =
        length < static_cast<std::size_t>(kReceiveBufferSize) ? length : kReceiveBufferSize;
    m_timer.Start();
    // With a wait allowed, wait first: a reply is rarely in before its
    // request has been answered, and a receive that finds nothing is a
    // wasted system call on every chunk.
    bool waitFirst = timeoutMs > 0;
    for (;;) {
        if (waitFirst) {
            const int left = timeoutMs - static_cast<int>(m_timer.Elapsed());
            if (left <= 0) {
                return {net::Status::kTimedOut, 0};
            }
            const net::Status ready = net::WaitFor(m_socket, true, false, left);
            if (ready != net::Status::kOk) {
                return {ready, 0};
            }
        }
        const net::IoResult got = net::Receive(m_socket, buffer, most);
        if (got.status != net::Status::kWouldBlock) {
            return got;  // bytes, the peer's close, or a failure
        }
        // Nothing yet (or a readiness that came to nothing): wait for more.
        if (timeoutMs <= 0) {
            return {net::Status::kTimedOut, 0};
        }
        waitFirst = true;
    }
}

}  // namespace kelvarin
