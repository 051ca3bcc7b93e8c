// Connection I/O: non-blocking reads, a timed output queue, lingering close.
#include "device_connection.h"

#include "device_http.h"
#include "modbus_frame.h"

#include <algorithm>
#include <cstdio>

namespace kelvarin::device {

namespace {

using std::chrono::milliseconds;

// Bytes read per wake-up: one read per connection and turn keeps the server
// fair between clients.
constexpr std::size_t kReadChunk = 16384;
// A client that does not read its replies is not read from either once this
// much output waits, so a flood of requests cannot grow the queue unbounded.
constexpr std::size_t kMaxQueuedBytes = 65536;
// How long a closing connection waits for the peer to close after our last byte.
constexpr milliseconds kLingerTime(2000);
// How long an HTTP client may leave its response unread before it is dropped.
constexpr milliseconds kHttpSendStall(10000);
// The pause between the bytes of a split reply: long enough for each byte to
// leave as its own segment (Nagle is off on Modbus sockets).
constexpr milliseconds kSplitPause(1);

}  // namespace

Connection::Connection(net::Socket socket, PortKind kind)
    : m_socket(socket), m_peerAddress(net::PeerAddress(socket)), m_kind(kind) {}

Connection::~Connection() {
    net::Close(m_socket);
}

TimePoint Connection::FrontDue() const {
    return std::max(m_queue.front().notBefore, m_nextSend);
}

void Connection::StartTls(std::shared_ptr<tls::Context> context, milliseconds handshakeTimeout,
                          TimePoint now) {
    m_tls = std::make_unique<tls::Stream>(std::move(context), m_socket);
    m_handshaking = true;
    m_handshakeDeadline = now + handshakeTimeout;
}

net::IoResult Connection::Receive(void* buffer, std::size_t length) {
    return m_tls ? m_tls->Read(buffer, length) : net::Receive(m_socket, buffer, length);
}

net::IoResult Connection::Send(const void* data, std::size_t length) {
    return m_tls ? m_tls->Write(data, length) : net::Send(m_socket, data, length);
}

bool Connection::WantsRead(TimePoint /*now*/) const {
    if (m_handshaking) {
        return !m_handshakeWrite;
    }
    return (m_reading && m_queuedBytes < kMaxQueuedBytes) || m_lingering;
}

bool Connection::WantsWrite(TimePoint now) const {
    if (m_handshaking) {
        return m_handshakeWrite;
    }
    return !m_queue.empty() && FrontDue() <= now;
}

TimePoint Connection::NextTimer(TimePoint now) const {
    if (m_handshaking) {
        return m_handshakeDeadline;
    }
    // Decrypted bytes no wait would show: served on the next turn.
    if (m_tls && !m_handshaking && m_reading && m_tls->Buffered()) {
        return now;
    }
    TimePoint next = m_deadline;
    if (!m_queue.empty() && FrontDue() > now) {
        next = std::min(next, FrontDue());
    }
    return next;
}

void Connection::Service(bool readable, bool writable, TimePoint now) {
    if (m_finished) {
        return;
    }
    if (m_handshaking) {
        if (readable || writable) {
            bool wantRead = false;
            const net::Status step = m_tls->Handshake(&wantRead, &m_handshakeWrite);
            if (step == net::Status::kFailed) {
                Finish();  // no certificate, another issuer, an old protocol: nothing taken
                return;
            }
            if (step == net::Status::kOk) {
                m_handshaking = false;
                OnTlsReady(now);
                readable = true;  // what came with the handshake's end
            }
        }
        if (m_handshaking) {
            // Idle or slow: its place is needed more than its handshake.
            if (m_handshakeDeadline <= now) {
                m_handshakeTimedOut = true;
                Finish();
            }
            return;
        }
    }
    if (m_tls && m_reading && m_tls->Buffered()) {
        readable = true;
    }
    if (readable && (m_reading || m_lingering)) {
        ReadSome(now);  // input, the peer's close or an error: the read tells which
    }
    if (!m_finished && !m_queue.empty()) {
        SendDue(now);
    }
    if (!m_finished && m_deadline <= now) {
        if (m_lingering) {
            Finish();
        } else {
            OnDeadline(now);
        }
    }
    if (!m_finished && m_queue.empty() && !m_lingering) {
        if (m_after == AfterOutput::kClose) {
            Finish();
        } else if (m_after == AfterOutput::kLinger) {
            if (m_tls) {
                m_tls->Shutdown();
            }
            net::ShutdownSend(m_socket);
            m_reading = false;
            m_lingering = true;
            m_deadline = now + kLingerTime;
        }
    }
}

void Connection::ReadSome(TimePoint now) {
    char buffer[kReadChunk];
    const net::IoResult got = Receive(buffer, sizeof buffer);
    if (got.status == net::Status::kWouldBlock) {
        return;
    }
    if (got.status == net::Status::kFailed) {
        Finish();
        return;
    }
    if (got.status == net::Status::kClosed) {
        if (m_lingering) {
            Finish();
        } else {
            m_reading = false;
            OnPeerClosed(now);
        }
        return;
    }
    if (!m_lingering) {
        OnReceived(std::string_view(buffer, got.count), now);
    }
}

void Connection::SendDue(TimePoint now) {
    while (!m_queue.empty() && FrontDue() <= now) {
        const TimePoint due = FrontDue();
        Piece& front = m_queue.front();
        const net::IoResult sent =
            Send(front.bytes.data() + m_frontSent, front.bytes.size() - m_frontSent);
        if (sent.status == net::Status::kWouldBlock) {
            return;
        }
        if (!sent.Ok()) {
            Finish();
            return;
        }
        m_frontSent += sent.count;
        OnSent(now);
        if (m_frontSent < front.bytes.size()) {
            return;  // the socket is full; poll says when it drains
        }
        // Paced from when the piece was due, not from when the loop woke:
        // a late wake-up sends the bytes that fell due meanwhile, so a split
        // reply takes its pauses' time however busy the machine is.
        m_nextSend = due + front.pauseAfter;
        m_queuedBytes -= front.bytes.size();
        m_frontSent = 0;
        const bool tracked = front.endsTracked;
        m_queue.pop_front();
        if (tracked) {
            OnTrackedSent();
        }
        if (m_queue.empty()) {
            OnOutputDrained(now);
        }
    }
}

void Connection::Queue(std::string bytes, TimePoint notBefore, milliseconds pause,
                       bool tracked) {
    if (bytes.empty()) {
        return;
    }
    m_queuedBytes += bytes.size();
    if (pause.count() == 0) {
        m_queue.push_back(Piece{std::move(bytes), notBefore, pause, tracked});
        return;
    }
    for (char byte : bytes) {
        m_queue.push_back(Piece{std::string(1, byte), notBefore, pause, false});
    }
    m_queue.back().endsTracked = tracked;
}

void Connection::EndAfterOutput(bool linger) {
    m_reading = false;
    m_after = linger ? AfterOutput::kLinger : AfterOutput::kClose;
}

void Connection::OnPeerClosed(TimePoint /*now*/) {
    EndAfterOutput(false);
}

void Connection::OnDeadline(TimePoint /*now*/) {
    Finish();
}

ModbusConnection::ModbusConnection(net::Socket socket, DeviceMemory& memory,
                                   const DeviceIdentity& identity, FaultMode fault,
                                   const LinkModel& link, std::mt19937& random,
                                   milliseconds idleTimeout, TimePoint now)
    : Connection(socket, PortKind::kModbus),
      m_session(memory, fault, this, identity),
      m_link(link),
      m_random(random),
      m_bytePause(fault.kind == FaultKind::kSplit     ? kSplitPause
                  : fault.kind == FaultKind::kTrickle ? milliseconds(fault.delayMs)
                                                      : milliseconds(0)),
      m_idleTimeout(idleTimeout) {
    SetDeadline(now + m_idleTimeout);
}

void ModbusConnection::OnSent(TimePoint now) {
    SetDeadline(now + m_idleTimeout);
}

void ModbusConnection::OnDeadline(TimePoint now) {
    // A reply still on its way (a delay fault, a slow link) is the device's
    // wait, not the client's idleness.
    if (OutputPending()) {
        SetDeadline(now + m_idleTimeout);
        return;
    }
    Finish();
}

void ModbusConnection::OnTlsReady(TimePoint now) {
    // The Modbus idle time starts with the handshake's end.
    SetDeadline(now + m_idleTimeout);
    const std::optional<std::string> role = PeerRole();
    if (role) {
        m_role = *role;
        return;
    }
    // Which of two roles would hold is anyone's guess: the certificate is
    // refused everything, whatever roles the device allows.
    m_roleUnreadable = true;
    std::fprintf(stderr,
                 "kelvarin-device: %s: the client certificate %s names more than one role, or "
                 "a role that is not one UTF8String: every request is refused (exception 01)\n",
                 PeerAddress().c_str(), PeerSubject().c_str());
    std::fflush(stderr);
}

Admission ModbusConnection::Admit(std::string_view frame) {
    if (m_link.unit >= 0 && frame.size() > modbus::kUnitAt &&
        static_cast<std::uint8_t>(frame[modbus::kUnitAt]) != m_link.unit) {
        return m_link.unitMissingException ? Admission::kNoUnit : Admission::kDrop;
    }
    if (m_roleUnreadable) {
        return Admission::kNotAllowed;
    }
    // The roles a function asks for, checked on every request: reading the
    // memory and the identification are reads.
    if (frame.size() > modbus::kFunctionAt) {
        const auto function = static_cast<std::uint8_t>(frame[modbus::kFunctionAt]);
        const bool read =
            function == modbus::kReadFileRecord || function == modbus::kEncapsulatedInterface;
        const std::vector<std::string>& roles = read ? m_link.readRoles : m_link.writeRoles;
        const bool checked = !roles.empty() && (function == modbus::kWriteFileRecord || read);
        if (checked && std::find(roles.begin(), roles.end(), m_role) == roles.end()) {
            return Admission::kNotAllowed;
        }
    }
    if (m_link.lossPercent > 0 &&
        std::uniform_real_distribution<double>(0, 100)(m_random) < m_link.lossPercent) {
        return Admission::kDrop;
    }
    if (m_link.maxInFlight > 0 && m_inFlight + m_admitting >= m_link.maxInFlight) {
        return m_link.dropPastMax ? Admission::kDrop : Admission::kBusy;
    }
    ++m_admitting;
    return Admission::kHandle;
}

void ModbusConnection::OnReceived(std::string_view bytes, TimePoint now) {
    SetDeadline(now + m_idleTimeout);
    ModbusFeed feed = m_session.Feed(bytes);
    m_admitting = 0;
    // Over a slow link a reply leaves a round trip after its request came.
    const milliseconds link(2 * m_link.latencyMs);
    for (ModbusReply& reply : feed.replies) {
        if (reply.stream) {
            m_stream = reply.bytes;
        }
        const bool tracked = reply.admitted && !reply.bytes.empty();
        m_inFlight += tracked ? 1 : 0;
        Queue(std::move(reply.bytes), now + link + milliseconds(reply.delayMs), m_bytePause,
              tracked);
    }
    if (feed.close) {
        EndAfterOutput(false);
    }
}

void ModbusConnection::OnTrackedSent() {
    --m_inFlight;
}

void ModbusConnection::OnOutputDrained(TimePoint now) {
    if (!m_stream.empty()) {
        Queue(m_stream, now);  // the flood goes on as fast as the client reads
    }
}

HttpConnection::HttpConnection(net::Socket socket, const DeviceMemory& memory,
                               milliseconds requestTimeout, TimePoint now)
    : Connection(socket, PortKind::kHttp), m_memory(memory) {
    SetDeadline(now + requestTimeout);
}

void HttpConnection::OnReceived(std::string_view bytes, TimePoint now) {
    m_request.append(bytes);
    HttpScan scan = ScanHttpRequest(m_request);
    if (scan.status == HttpScanStatus::kNeedMore) {
        return;
    }
    // The response is a copy, so later writes to the memory cannot change it
    // while it is being sent.
    std::string response =
        scan.status == HttpScanStatus::kComplete
            ? HandleHttpRequest(m_memory.Bytes(), std::string_view(m_request).substr(0, scan.size))
            : HttpErrorResponse(400);
    Queue(std::move(response), now);
    m_request.clear();
    SetDeadline(now + kHttpSendStall);
    EndAfterOutput(true);
}

void HttpConnection::OnPeerClosed(TimePoint /*now*/) {
    Finish();
}

void HttpConnection::OnSent(TimePoint now) {
    SetDeadline(now + kHttpSendStall);
}

}  // namespace kelvarin::device
