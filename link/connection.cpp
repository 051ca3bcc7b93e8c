// One device's connection over the socket layer and a transport.
#include "connection.h"

namespace kelvarin {

Connection::Connection() {
    net::Startup();
}

Connection::~Connection() {
    Close();
}

void Connection::SetTransport(TransportSettings settings) {
    m_settings = std::move(settings);
}

bool Connection::Open(int localPort) {
    if (IsOpen()) {
        return false;
    }
    m_localPort = localPort;
    m_socket = net::Open(m_settings.datagram, localPort);
    return IsOpen();
}

bool Connection::SetPeer(const std::string& host, int port) {
    m_host = host;
    m_port = port;
    m_hasPeer = false;
    if (port < 1 || port > 65535) {
        return false;
    }
    const std::optional<net::Endpoint> peer = net::Resolve(host, port);
    if (!peer) {
        return false;
    }
    m_peer = *peer;
    m_hasPeer = true;
    return true;
}

net::Status Connection::BeginConnect() {
    if (!IsOpen() || !m_hasPeer || m_connected || m_connecting) {
        return net::Status::kFailed;
    }
    Transactions().Restart();
    m_failure = tls::Failure::kNone;
    m_detail.clear();
    return Begin();
}

net::Status Connection::Begin() {
    if (m_settings.datagram) {
        m_connected = true;
        m_transport = MakeTransport(m_settings, m_socket, m_peer, m_host, m_port);
        return net::Status::kOk;
    }
    const net::Status started = net::StartConnect(m_socket, m_peer);
    if (started == net::Status::kOk && !m_settings.tls) {
        m_transport = MakeTransport(m_settings, m_socket, m_peer, m_host, m_port);
        m_connected = true;
        return net::Status::kOk;
    }
    // Under way: the socket's writability tells when the connect ends (and,
    // connected at once over TLS, starts the handshake).
    m_connecting = started == net::Status::kOk || started == net::Status::kWouldBlock;
    return m_connecting ? net::Status::kWouldBlock : net::Status::kFailed;
}

net::Status Connection::StartConnect() {
    if (!m_hasPeer) {
        return net::Status::kFailed;  // never connected: no peer to return to
    }
    m_transport.reset();
    net::Close(m_socket);
    m_socket = net::kNoSocket;
    m_connected = false;
    m_connecting = false;
    m_handshaking = false;
    if (!Open(m_localPort)) {
        return net::Status::kFailed;
    }
    // A connect again: the transaction ids go on from the connection before.
    return Begin();
}

net::Status Connection::FinishConnect(bool* wantRead, bool* wantWrite) {
    *wantRead = *wantWrite = false;
    if (!IsOpen() || !m_connecting) {
        return net::Status::kFailed;
    }
    if (!m_handshaking && net::ConnectResult(m_socket) != net::Status::kOk) {
        m_connecting = false;
        return net::Status::kFailed;
    }
    const net::Status step = Handshake(wantRead, wantWrite);
    if (step != net::Status::kWouldBlock) {
        m_connecting = false;
        m_connected = step == net::Status::kOk;
    }
    return step;
}

net::Status Connection::Handshake(bool* wantRead, bool* wantWrite) {
    if (!m_handshaking) {
        m_transport = MakeTransport(m_settings, m_socket, m_peer, m_host, m_port);
        m_handshaking = true;
        m_handshakes += m_settings.tls ? 1 : 0;
    }
    const net::Status step = m_transport->Handshake(wantRead, wantWrite);
    if (step == net::Status::kFailed) {
        ConnectionFacts facts;
        m_transport->AddFacts(&facts);
        m_failure = facts.tlsFailure;
        m_detail = facts.tlsDetail;
        m_transport.reset();
    } else if (step == net::Status::kOk) {
        m_failure = tls::Failure::kNone;  // a refusal of an earlier connection is over
        m_detail.clear();
    }
    if (step != net::Status::kWouldBlock) {
        m_handshaking = false;
    }
    return step;
}

void Connection::ConnectTimedOut() {
    if (m_handshaking && m_settings.tls) {
        m_failure = tls::Failure::kTimedOut;
        m_detail.clear();
    }
    m_transport.reset();
    m_handshaking = false;
    m_connecting = false;
}

net::IoResult Connection::Read(void* buffer, std::size_t length) {
    if (!m_connected || !m_transport) {
        return {net::Status::kFailed, 0};
    }
    return m_transport->Read(buffer, length);
}

net::IoResult Connection::Write(const void* data, std::size_t length) {
    if (!m_connected || !m_transport) {
        return {net::Status::kFailed, 0};
    }
    return m_transport->Write(data, length);
}

bool Connection::Buffered() const {
    return m_transport && m_transport->Buffered();
}

ConnectionFacts Connection::Facts() const {
    ConnectionFacts facts;
    facts.tlsFailure = m_failure;
    facts.tlsDetail = m_detail;
    if (m_transport) {
        m_transport->AddFacts(&facts);
        // A refusal after the handshake outlives the transport's own
        // record of an earlier one.
        if (facts.tlsFailure == tls::Failure::kNone) {
            facts.tlsFailure = m_failure;
            facts.tlsDetail = m_detail;
        }
    }
    facts.tlsHandshakes = m_handshakes;
    return facts;
}

void Connection::Drop() {
    // The socket stays until the next connect replaces it; only the
    // connection is given up. A refusal the transport noted is kept.
    if (m_transport) {
        ConnectionFacts facts;
        m_transport->AddFacts(&facts);
        if (facts.tlsFailure != tls::Failure::kNone) {
            m_failure = facts.tlsFailure;
            m_detail = facts.tlsDetail;
        }
    }
    m_transport.reset();
    m_connected = false;
    m_connecting = false;
    m_handshaking = false;
}

void Connection::Close() {
    if (m_transport) {
        m_transport->Shutdown();
    }
    Drop();
    if (IsOpen()) {
        net::Close(m_socket);
        m_socket = net::kNoSocket;
    }
}

}  // namespace kelvarin
