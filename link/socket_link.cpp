// CSocketLink: a Connection behind the link's lock, with the link's waits.
#include "socket_link.h"

#include <algorithm>
#include <thread>

namespace kelvarin {

namespace {

// The longest a connect waits before it looks at its stop request.
constexpr int kStopCheckMs = 50;

}  // namespace

CSocketLink::CSocketLink() = default;

CSocketLink::~CSocketLink() {
    Close();
}

bool CSocketLink::IsOpen() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.IsOpen();
}

bool CSocketLink::IsConnected() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.IsConnected();
}

bool CSocketLink::Open(int localPort, bool datagram, const LinkTimeouts& timeouts) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_connection.IsOpen()) {
        return false;
    }
    m_timeouts = timeouts;
    TransportSettings settings = m_connection.Settings();
    settings.datagram = datagram;
    m_connection.SetTransport(std::move(settings));
    return m_connection.Open(localPort);
}

bool CSocketLink::Connect(const std::string& host, int port, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_connection.IsOpen() || m_connection.IsConnected() || m_connection.IsConnecting() ||
        !m_connection.SetPeer(host, port)) {
        return false;
    }
    Transactions().Restart();
    m_timer.Start();
    net::Status step = m_connection.BeginConnect();
    bool wantRead = false;
    bool wantWrite = true;
    // In slices, so that a stop request ends the wait soon; the transport's
    // handshake within the same time-out.
    while (step == net::Status::kWouldBlock) {
        const int left = m_timeouts.connectMs - static_cast<int>(m_timer.Elapsed());
        if (left <= 0 || (stop && stop->load())) {
            if (left <= 0) {
                m_connection.ConnectTimedOut();
            } else {
                m_connection.Drop();
            }
            return false;
        }
        const net::Status ready = net::WaitFor(m_connection.Socket(), wantRead, wantWrite,
                                               stop ? std::min(left, kStopCheckMs) : left);
        if (ready == net::Status::kFailed) {
            m_connection.Drop();
            return false;
        }
        if (ready == net::Status::kOk) {
            step = m_connection.FinishConnect(&wantRead, &wantWrite);
        }
    }
    return step == net::Status::kOk;
}

void CSocketLink::SetTls(std::shared_ptr<tls::Context> context) {
    std::lock_guard<std::mutex> hold(m_lock);
    TransportSettings settings = m_connection.Settings();
    settings.tls = std::move(context);
    m_connection.SetTransport(std::move(settings));
}

ConnectionFacts CSocketLink::Facts() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.Facts();
}

bool CSocketLink::Buffered() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.Buffered();
}

net::Status CSocketLink::StartConnect() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.StartConnect();
}

net::Status CSocketLink::FinishConnect(bool* wantRead, bool* wantWrite) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.FinishConnect(wantRead, wantWrite);
}

void CSocketLink::Drop() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_connection.Drop();
}

int CSocketLink::Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_connection.Close();
    return 0;
}

net::IoResult CSocketLink::Write(const void* data, std::size_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_connection.Write(data, length);
}

net::IoResult CSocketLink::Read(void* buffer, std::size_t length) {
    std::lock_guard<std::mutex> hold(m_lock);
    const std::size_t most = std::min(length, static_cast<std::size_t>(kReceiveBufferSize));
    return m_connection.Read(buffer, most);
}

net::Status CSocketLink::Wait(bool read, bool write, int ms) {
    if (!read && !write) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(ms, 0)));
        return net::Status::kTimedOut;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_connection.IsOpen()) {
        return net::Status::kFailed;
    }
    // While a connect (or its handshake) is under way there is no
    // connection yet, but the socket tells when it can go on.
    if (!m_connection.IsConnected() && !m_connection.IsConnecting()) {
        return net::Status::kFailed;
    }
    // Decrypted bytes already in are there at once.
    if (read && m_connection.Buffered()) {
        return net::Status::kOk;
    }
    return net::WaitFor(m_connection.Socket(), read, write, std::max(ms, 0));
}

}  // namespace kelvarin
