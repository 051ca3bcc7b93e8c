// CSocketLink over the socket layer: non-blocking, a wait for every wait.
#include "socket_link.h"

#include <algorithm>
#include <thread>

namespace kelvarin {

namespace {

// The longest a connect waits before it looks at its stop request.
constexpr int kStopCheckMs = 50;

}  // namespace

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

bool CSocketLink::Connect(const std::string& host, int port, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> hold(m_lock);
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
    Transactions().Restart();
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
    // In slices, so that a stop request ends the wait soon.
    m_timer.Start();
    for (;;) {
        const int left = m_timeouts.connectMs - static_cast<int>(m_timer.Elapsed());
        if (left <= 0 || (stop && stop->load())) {
            return false;
        }
        const net::Status ready =
            net::WaitFor(m_socket, false, true, stop ? std::min(left, kStopCheckMs) : left);
        if (ready == net::Status::kOk) {
            m_connected = net::ConnectResult(m_socket) == net::Status::kOk;
            return m_connected;
        }
        if (ready == net::Status::kFailed) {
            return false;
        }
    }
}

net::Status CSocketLink::StartConnect() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || m_peer.port == 0) {
        return net::Status::kFailed;  // never connected: no peer to return to
    }
    net::Close(m_socket);
    m_connected = false;
    m_socket = net::Open(m_datagram, m_localPort);
    m_open = m_socket != net::kNoSocket;
    if (!m_open) {
        return net::Status::kFailed;
    }
    if (m_datagram) {
        m_connected = true;
        return net::Status::kOk;
    }
    const net::Status started = net::StartConnect(m_socket, m_peer);
    m_connected = started == net::Status::kOk;
    return started == net::Status::kOk || started == net::Status::kWouldBlock
               ? started
               : net::Status::kFailed;
}

net::Status CSocketLink::FinishConnect() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open) {
        return net::Status::kFailed;
    }
    m_connected = net::ConnectResult(m_socket) == net::Status::kOk;
    return m_connected ? net::Status::kOk : net::Status::kFailed;
}

void CSocketLink::Drop() {
    std::lock_guard<std::mutex> hold(m_lock);
    // The socket stays until the next connect replaces it; only the
    // connection is given up.
    m_connected = false;
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

net::IoResult CSocketLink::Write(const void* data, std::size_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return {net::Status::kFailed, 0};
    }
    if (m_datagram) {
        return net::SendTo(m_socket, data, length, m_peer);
    }
    return net::Send(m_socket, data, length);
}

net::IoResult CSocketLink::Read(void* buffer, std::size_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return {net::Status::kFailed, 0};
    }
    const std::size_t most = std::min(length, static_cast<std::size_t>(kReceiveBufferSize));
    return net::Receive(m_socket, buffer, most);
}

net::Status CSocketLink::Wait(bool read, bool write, int ms) {
    if (!read && !write) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
        return net::Status::kTimedOut;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open) {
        return net::Status::kFailed;
    }
    // While a connect is under way there is no connection yet, but the
    // socket's writability tells when it ends.
    if (!m_connected && !write) {
        return net::Status::kFailed;
    }
    return net::WaitFor(m_socket, read, write, std::max(ms, 0));
}

}  // namespace kelvarin
