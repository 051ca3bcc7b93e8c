// The connections of the simulated device's server: a socket with its input
// handling and an output queue whose pieces may wait for a given time, so
// faults can delay or split replies without ever blocking the server.
#pragma once

#include "device_faults.h"
#include "device_identity.h"
#include "device_memory.h"
#include "device_session.h"
#include "net.h"
#include "tls.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace kelvarin::device {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// Which port a connection came in on.
enum class PortKind { kModbus, kHttp };

// One accepted, non-blocking socket. Closes it when destroyed.
class Connection {
  public:
    // Takes over socket, a connected non-blocking socket.
    Connection(net::Socket socket, PortKind kind);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The socket, for poll.
    net::Socket Socket() const { return m_socket; }
    // The port it came in on.
    PortKind Kind() const { return m_kind; }
    // The client's address ("A.B.C.D"), taken when it was accepted; empty
    // when the system could not tell.
    const std::string& PeerAddress() const { return m_peerAddress; }

    // What it waits for at now: input while it takes input, room to send
    // while output is due.
    bool WantsRead(TimePoint now) const;
    bool WantsWrite(TimePoint now) const;

    // The next moment after now at which Service must run even without an
    // event (a delayed reply falls due, a deadline passes), or
    // TimePoint::max().
    TimePoint NextTimer(TimePoint now) const;

    // Handles what the poll found (readable: input, a hang-up or an error;
    // writable: room to send) and whatever has fallen due at now.
    void Service(bool readable, bool writable, TimePoint now);

    // True once the connection is over and may be destroyed.
    bool Finished() const { return m_finished; }

    // Speaks TLS (context a server's) from now on: the handshake first, the
    // client's certificate required. A handshake that fails, or is not done
    // within handshakeTimeout of now, ends the connection; nothing it sent is
    // taken. Until the handshake is done no other deadline runs.
    void StartTls(std::shared_ptr<tls::Context> context, std::chrono::milliseconds handshakeTimeout,
                  TimePoint now);
    // True while the TLS handshake is under way.
    bool Handshaking() const { return m_handshaking; }
    // True once the connection ended because its handshake ran out of time.
    bool HandshakeTimedOut() const { return m_handshakeTimedOut; }

  protected:
    // The TLS handshake is done at now (PeerRole says the client's role).
    virtual void OnTlsReady(TimePoint /*now*/) {}
    // The role the client's certificate names: empty without TLS or role,
    // nothing when the certificate names more than one or one not readable.
    std::optional<std::string> PeerRole() const {
        return m_tls ? m_tls->PeerRole() : std::optional<std::string>(std::string());
    }
    // The subject of the client's certificate ("CN=..."); empty without TLS.
    std::string PeerSubject() const { return m_tls ? m_tls->PeerSubject() : std::string(); }

    // Bytes received.
    virtual void OnReceived(std::string_view bytes, TimePoint now) = 0;
    // The peer has shut down its side; by default the connection ends once
    // its output is sent.
    virtual void OnPeerClosed(TimePoint now);
    // The deadline set with SetDeadline has passed; by default the
    // connection ends at once.
    virtual void OnDeadline(TimePoint now);
    // Some output has been sent.
    virtual void OnSent(TimePoint /*now*/) {}
    // The last byte of a message queued with tracked set has been sent.
    virtual void OnTrackedSent() {}
    // Everything queued has been sent.
    virtual void OnOutputDrained(TimePoint /*now*/) {}

    // Queues bytes to be sent not before notBefore, after everything queued
    // earlier. With a pause, each byte goes alone, the pause after each.
    // tracked: OnTrackedSent is called once its last byte has gone.
    void Queue(std::string bytes, TimePoint notBefore,
               std::chrono::milliseconds pause = std::chrono::milliseconds(0),
               bool tracked = false);
    // Once the output queue is empty: close (linger false), or shut down the
    // sending side and discard input until the peer closes or a short time
    // passes (linger true), so a client's unread bytes do not make the
    // kernel reset the connection before it has read our response.
    void EndAfterOutput(bool linger);
    // Ends the connection now.
    void Finish() { m_finished = true; }
    // Calls OnDeadline at when (TimePoint::max() for never).
    void SetDeadline(TimePoint when) { m_deadline = when; }
    // True while output waits to be sent (a reply delayed by a fault
    // included).
    bool OutputPending() const { return !m_queue.empty(); }

  private:
    // A piece of output and the earliest time it may go.
    struct Piece {
        std::string bytes;
        TimePoint notBefore;
        std::chrono::milliseconds pauseAfter;
        bool endsTracked = false;
    };
    enum class AfterOutput { kKeepOpen, kClose, kLinger };

    void ReadSome(TimePoint now);
    void SendDue(TimePoint now);
    TimePoint FrontDue() const;
    net::IoResult Receive(void* buffer, std::size_t length);
    net::IoResult Send(const void* data, std::size_t length);

    net::Socket m_socket;
    std::string m_peerAddress;
    std::unique_ptr<tls::Stream> m_tls;
    bool m_handshaking = false;
    bool m_handshakeWrite = false;  // the handshake waits for room to send
    TimePoint m_handshakeDeadline = TimePoint::max();
    bool m_handshakeTimedOut = false;
    PortKind m_kind;
    bool m_reading = true;
    bool m_lingering = false;
    bool m_finished = false;
    AfterOutput m_after = AfterOutput::kKeepOpen;
    TimePoint m_deadline = TimePoint::max();
    std::deque<Piece> m_queue;
    std::size_t m_frontSent = 0;
    std::size_t m_queuedBytes = 0;
    TimePoint m_nextSend{};
};

// A Modbus/TCP client: requests answered in order, with the fault mode, over
// the link the model describes. A client that sends nothing for idleTimeout
// while no reply is on its way is disconnected, so idle clients cannot hold
// every place of a port.
class ModbusConnection : public Connection, private RequestGate {
  public:
    // Stores into memory, which must outlive the connection, as must random
    // (the device's draws of lost requests, shared by its connections) and
    // identity (what function 43 answers with).
    ModbusConnection(net::Socket socket, DeviceMemory& memory, const DeviceIdentity& identity,
                     FaultMode fault, const LinkModel& link, std::mt19937& random,
                     std::chrono::milliseconds idleTimeout, TimePoint now);

    // True once a request of this connection has stored data.
    bool WroteRecord() const { return m_session.WroteRecord(); }

  protected:
    void OnReceived(std::string_view bytes, TimePoint now) override;
    void OnTrackedSent() override;
    void OnOutputDrained(TimePoint now) override;
    void OnSent(TimePoint now) override;
    void OnDeadline(TimePoint now) override;

  private:
    Admission Admit(std::string_view frame) override;

    ModbusSession m_session;
    LinkModel m_link;
    std::mt19937& m_random;
    std::chrono::milliseconds m_bytePause;  // between the bytes of a reply (split, trickle)
    int m_inFlight = 0;   // admitted requests whose replies have not all gone
    int m_admitting = 0;  // admitted in the Feed under way, not yet queued
    std::string m_stream;  // the reply sent again and again (stream=N)
    std::chrono::milliseconds m_idleTimeout;
    std::string m_role;    // the client certificate's role, over TLS
    bool m_roleUnreadable = false;  // the certificate names two roles or an unreadable one:
                                    // every request refused

    void OnTlsReady(TimePoint now) override;
};

// An HTTP client: one request, one response from the image memory, then close.
class HttpConnection : public Connection {
  public:
    // The client has requestTimeout to send its whole request head.
    HttpConnection(net::Socket socket, const DeviceMemory& memory,
                   std::chrono::milliseconds requestTimeout, TimePoint now);

  protected:
    void OnReceived(std::string_view bytes, TimePoint now) override;
    void OnPeerClosed(TimePoint now) override;
    void OnSent(TimePoint now) override;

  private:
    const DeviceMemory& m_memory;
    std::string m_request;
};

}  // namespace kelvarin::device
