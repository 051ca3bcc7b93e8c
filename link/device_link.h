// The transport to a device: the calls a transfer's driver makes, which never
// wait, a wait for readiness, and the blocking send and receive built on them.
#pragma once

#include "net.h"
#include "tick_timer.h"
#include "tls.h"
#include "transaction_ids.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace kelvarin {

// How a connection to a device stands: all empty for plain Modbus/TCP.
struct ConnectionFacts {
    std::string tlsVersion;      // "TLSv1.3"; empty: not over TLS
    std::string tlsSubject;      // the device certificate's subject ("CN=...")
    std::string tlsFingerprint;  // its SHA-256, 64 lowercase hexadecimal digits
    bool tlsResumed = false;     // a kept session was resumed
    int tlsHandshakes = 0;       // handshakes made since the link was opened
    // Why the last handshake failed, or why the device refused this client
    // after it (TLS 1.3 tells that on the first read); kNone when neither.
    tls::Failure tlsFailure = tls::Failure::kNone;
    std::string tlsDetail;

    // For a trace: "TLSv1.3, session resumed", "TLSv1.2, full handshake";
    // empty for plain Modbus/TCP.
    std::string Text() const;
};

// A connection to one device as a transfer's driver uses it: every call
// returns at once, and whoever owns the connection does the waiting (the
// blocking link below waits on its one socket, the fleet on all of its
// devices at once). Errors travel one way: a net::Status, with a count where
// bytes move.
class TransferIo {
  public:
    virtual ~TransferIo() = default;

    // Reads what has arrived, at most length bytes: kOk with the count (at
    // least one), kWouldBlock when nothing has, kClosed when the peer closed
    // the connection, kFailed when it failed or there is none.
    virtual net::IoResult Read(void* buffer, std::size_t length) = 0;

    // Writes what the connection takes now of data: kOk with the count (at
    // least one, maybe fewer than length), kWouldBlock when it takes
    // nothing, kFailed when it failed or there is none.
    virtual net::IoResult Write(const void* data, std::size_t length) = 0;

    // Drops the connection, if any, and starts a new one to the same peer:
    // kOk when connected at once, kWouldBlock while under way (wait for
    // writable, then FinishConnect), kFailed.
    virtual net::Status StartConnect() = 0;

    // Once a connect under way is ready as last asked (writable at first):
    // kOk when it connected, kWouldBlock while it goes on (a TLS handshake:
    // wait as *wantRead and *wantWrite say), kFailed.
    virtual net::Status FinishConnect(bool* wantRead, bool* wantWrite) = 0;

    // True when bytes wait to be read that no wait on the socket would show
    // (decrypted by TLS, not yet taken).
    virtual bool Buffered() const { return false; }

    // How the connection stands: over TLS its version, the device
    // certificate's subject and fingerprint, whether the session was
    // resumed, and why the last handshake (or a refusal after it) failed.
    virtual ConnectionFacts Facts() const { return {}; }

    // Drops the connection (during a pause before connecting again).
    virtual void Drop() = 0;

    // The time by which deadlines are measured: a monotonic clock (a link
    // that only pretends to wait, in tests, keeps its own).
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }

    // The transaction ids of this connection's requests.
    TransactionIds& Transactions() { return m_transactions; }

  private:
    TransactionIds m_transactions;
};

// An abstract link to one device: the driver's calls plus a wait. Every
// operation of a link takes the link's lock for its whole duration, so one
// link may be shared by threads: a Close from one thread waits for a Send or
// Receive of another to end.
class CDeviceLink : public TransferIo {
  public:
    // Waits at most ms milliseconds until the connection can be read (read)
    // or written (write), or, with neither, for ms: kOk when it became ready
    // as asked, kTimedOut, kFailed (no connection; a read or write then says
    // how).
    virtual net::Status Wait(bool read, bool write, int ms) = 0;

    // Receives up to length bytes, waiting at most timeoutMs (0: only what
    // has already arrived): kOk with the count, kTimedOut when nothing came,
    // kClosed when the peer closed the connection, kFailed when it failed or
    // the link is not connected.
    net::IoResult Receive(void* buffer, std::size_t length, int timeoutMs);

    // Sends all length bytes of data, waiting at most timeoutMs for room: kOk
    // with length, kTimedOut when the frame could not leave whole in time,
    // kFailed when the connection failed or the link is not connected.
    net::IoResult Send(const void* data, std::size_t length, int timeoutMs);

  protected:
    mutable std::mutex m_lock;
    CTickTimer m_timer;
};

}  // namespace kelvarin
