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
    m_tlsFailure = tls::Failure::kNone;
    m_tlsDetail.clear();
    if (m_datagram) {
        m_connected = true;
        return true;
    }
    m_timer.Start();
    bool wantRead = false;
    bool wantWrite = true;
    net::Status step = net::StartConnect(m_socket, m_peer);
    if (step == net::Status::kOk) {
        step = HandshakeStep(&wantRead, &wantWrite);
    }
    // In slices, so that a stop request ends the wait soon; the handshake
    // of TLS within the same time-out.
    while (step == net::Status::kWouldBlock) {
        const int left = m_timeouts.connectMs - static_cast<int>(m_timer.Elapsed());
        if (left <= 0 || (stop && stop->load())) {
            if (m_tls && left <= 0) {
                m_tlsFailure = tls::Failure::kTimedOut;
            }
            m_tls.reset();
            return false;
        }
        const net::Status ready = net::WaitFor(m_socket, wantRead, wantWrite,
                                               stop ? std::min(left, kStopCheckMs) : left);
        if (ready == net::Status::kFailed) {
            m_tls.reset();
            return false;
        }
        if (ready != net::Status::kOk) {
            continue;
        }
        if (!m_tls && net::ConnectResult(m_socket) != net::Status::kOk) {
            return false;
        }
        step = HandshakeStep(&wantRead, &wantWrite);
    }
    m_connected = step == net::Status::kOk;
    return m_connected;
}

void CSocketLink::SetTls(std::shared_ptr<tls::Context> context) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_tlsContext = std::move(context);
}

net::Status CSocketLink::HandshakeStep(bool* wantRead, bool* wantWrite) {
    *wantRead = *wantWrite = false;
    if (!m_tlsContext) {
        return net::Status::kOk;  // plain Modbus/TCP: connected
    }
    if (!m_tls) {
        // The address (or host name) dialled is what the device's
        // certificate must name, unless the context says otherwise.
        m_tls = std::make_unique<tls::Stream>(m_tlsContext, m_socket, m_host,
                                              m_host + ":" + std::to_string(m_port));
        ++m_handshakes;
    }
    const net::Status step = m_tls->Handshake(wantRead, wantWrite);
    if (step == net::Status::kFailed) {
        m_tlsFailure = m_tls->Why();
        m_tlsDetail = m_tls->Detail();
        m_tls.reset();
    } else if (step == net::Status::kOk) {
        m_tlsFailure = tls::Failure::kNone;  // a refusal of an earlier connection is over
        m_tlsDetail.clear();
    }
    return step;
}

std::string CSocketLink::TlsVersion() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_tls ? m_tls->Version() : std::string();
}

std::string CSocketLink::TlsPeerSubject() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_tls ? m_tls->PeerSubject() : std::string();
}

std::string CSocketLink::ConnectionFacts() const {
    return m_tls ? m_tls->Facts() : std::string();
}

bool CSocketLink::TlsResumed() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_tls && m_tls->Resumed();
}

bool CSocketLink::Buffered() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_tls && m_tls->Buffered();
}

net::Status CSocketLink::StartConnect() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || m_peer.port == 0) {
        return net::Status::kFailed;  // never connected: no peer to return to
    }
    m_tls.reset();
    net::Close(m_socket);
    m_connected = false;
    m_connecting = false;
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
    if (started == net::Status::kOk && !m_tlsContext) {
        m_connected = true;
        return net::Status::kOk;
    }
    // Under way: the socket's writability tells when the connect ends (and,
    // connected at once over TLS, starts the handshake).
    m_connecting = started == net::Status::kOk || started == net::Status::kWouldBlock;
    return m_connecting ? net::Status::kWouldBlock : net::Status::kFailed;
}

net::Status CSocketLink::FinishConnect(bool* wantRead, bool* wantWrite) {
    std::lock_guard<std::mutex> hold(m_lock);
    *wantRead = *wantWrite = false;
    if (!m_open || !m_connecting) {
        return net::Status::kFailed;
    }
    if (!m_tls && net::ConnectResult(m_socket) != net::Status::kOk) {
        m_connecting = false;
        return net::Status::kFailed;
    }
    const net::Status step = HandshakeStep(wantRead, wantWrite);
    if (step != net::Status::kWouldBlock) {
        m_connecting = false;
        m_connected = step == net::Status::kOk;
    }
    return step;
}

void CSocketLink::Drop() {
    std::lock_guard<std::mutex> hold(m_lock);
    // The socket stays until the next connect replaces it; only the
    // connection is given up.
    m_tls.reset();
    m_connected = false;
    m_connecting = false;
}

int CSocketLink::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_tls) {
        m_tls->Shutdown();
        m_tls.reset();
    }
    m_connecting = false;
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
    return m_tls ? NotedTls(m_tls->Write(data, length)) : net::Send(m_socket, data, length);
}

net::IoResult CSocketLink::NotedTls(net::IoResult result) {
    // TLS 1.3 tells of a refused client certificate on the first read after
    // the handshake: kept, to say so instead of only a broken connection.
    if (result.status == net::Status::kFailed && m_tls->Why() == tls::Failure::kCertRefused) {
        m_tlsFailure = m_tls->Why();
        m_tlsDetail = m_tls->Detail();
    }
    return result;
}

net::IoResult CSocketLink::Read(void* buffer, std::size_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_open || !m_connected) {
        return {net::Status::kFailed, 0};
    }
    const std::size_t most = std::min(length, static_cast<std::size_t>(kReceiveBufferSize));
    return m_tls ? NotedTls(m_tls->Read(buffer, most)) : net::Receive(m_socket, buffer, most);
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
    // While a connect (or its handshake) is under way there is no
    // connection yet, but the socket tells when it can go on.
    if (!m_connected && !m_connecting) {
        return net::Status::kFailed;
    }
    // Decrypted bytes already in are there at once.
    if (read && m_tls && m_tls->Buffered()) {
        return net::Status::kOk;
    }
    return net::WaitFor(m_socket, read, write, std::max(ms, 0));
}

}  // namespace kelvarin
