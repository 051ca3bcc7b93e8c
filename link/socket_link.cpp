// CSocketLink over the socket layer: non-blocking, a poll for every wait.
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
    if (m_datagram) {
        m_connected = true;
        return true;
    }
    switch (net::StartConnect(m_socket, m_peer)) {
        case net::ConnectStart::kConnected:
            m_connected = true;
            return true;
        case net::ConnectStart::kFailed:
            return false;
        case net::ConnectStart::kInProgress:
            break;
    }
    const std::optional<bool> ready = net::WaitFor(m_socket, false, true, m_timeouts.connectMs);
    m_connected = ready && *ready && net::ConnectSucceeded(m_socket);
    return m_connected;
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
        return net::SendTo(m_socket, data, static_cast<std::size_t>(length), m_peer) == length
                   ? length
                   : -1;
    }
    // A stream send may take several calls when the socket buffer is full;
    // the frame goes out whole or the send fails.
    const auto* bytes = static_cast<const unsigned char*>(data);
    int done = 0;
    while (done < length) {
        const long sent =
            net::Send(m_socket, bytes + done, static_cast<std::size_t>(length - done));
        if (sent > 0) {
            done += static_cast<int>(sent);
        } else if (sent == net::kWouldBlock || sent == 0) {
            const std::optional<bool> ready = net::WaitFor(m_socket, false, true, timeoutMs);
            if (!ready || !*ready) {
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
    // With a wait allowed, wait first: a reply is rarely in before its
    // request has been answered, and a receive that finds nothing is a
    // wasted system call on every chunk.
    bool waitFirst = timeoutMs > 0;
    for (;;) {
        if (waitFirst) {
            const int left = timeoutMs - static_cast<int>(m_timer.Elapsed());
            if (left <= 0) {
                return 0;
            }
            const std::optional<bool> ready = net::WaitFor(m_socket, true, false, left);
            if (!ready) {
                return -1;
            }
            if (!*ready) {
                return 0;
            }
        }
        const long got = net::Receive(m_socket, buffer, most);
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got == 0 && !m_datagram) {
            return -1;  // the peer closed the connection
        }
        if (got == net::kFailed) {
            return -1;
        }
        // Nothing yet (or a readiness that came to nothing): wait for more.
        if (timeoutMs <= 0) {
            return 0;
        }
        waitFirst = true;
    }
}

}  // namespace kelvarin
