// CSocketLink: an IPv4 socket link with a bounded connect and receive.
#pragma once

#include "connection.h"
#include "device_link.h"
#include "link_timeouts.h"
#include "net.h"
#include "tls.h"

#include <atomic>
#include <memory>
#include <string>

namespace kelvarin {

// One IPv4 socket, stream (TCP) or datagram (UDP), non-blocking after Open:
// a Connection (connection.h) with the link's lock and its waits. Connect
// waits at most the connect time-out; every other wait is the caller's,
// through Wait, with the socket layer's wait (no spinning).
class CSocketLink : public CDeviceLink {
  public:
    // The most bytes one Read takes; it reads straight into the caller's
    // buffer, never more than the caller asked for, so nothing is dropped.
    static constexpr int kReceiveBufferSize = 10240;

    CSocketLink();
    ~CSocketLink() override;
    CSocketLink(const CSocketLink&) = delete;
    CSocketLink& operator=(const CSocketLink&) = delete;

    // Creates the socket (stream when datagram is false) and binds it to any
    // local address and localPort (0: any); timeouts bound the connect.
    // False when already open or when the socket cannot be created or bound;
    // the link then stays closed.
    bool Open(int localPort, bool datagram, const LinkTimeouts& timeouts);

    // Open with the one wait timeoutMs for connect, receive and send.
    bool Open(int localPort, bool datagram, int timeoutMs) {
        return Open(localPort, datagram, LinkTimeouts::All(timeoutMs));
    }

    // Connects to host (dotted IPv4 address, else a host name resolved to its
    // first IPv4 address) and port, waiting at most the connect time-out, or
    // until *stop turns true (looked at every 50 ms). False when not open,
    // already connected, the host cannot be resolved or names no device
    // (empty, 0.0.0.0), the port is outside 1..65535, the connect is refused,
    // not answered in time or stopped. Nothing is sent in any of these cases
    // but the last two. A new connection's transaction ids start at 1.
    bool Connect(const std::string& host, int port, const std::atomic<bool>* stop = nullptr);

    // Speaks TLS (context a client's) on every connection from the next
    // Connect on; nullptr: plain Modbus/TCP, the default.
    void SetTls(std::shared_ptr<tls::Context> context);

    // Closes the socket when open; returns 0.
    int Close();

    net::IoResult Read(void* buffer, std::size_t length) override;
    net::IoResult Write(const void* data, std::size_t length) override;
    net::Status Wait(bool read, bool write, int ms) override;

    // Closes the socket, opens a new one as Open did and starts connecting
    // it to the host and port of the last Connect; kFailed when no Connect
    // came before or no socket can be made.
    net::Status StartConnect() override;
    net::Status FinishConnect(bool* wantRead, bool* wantWrite) override;
    void Drop() override;
    bool Buffered() const override;
    ConnectionFacts Facts() const override;

    // State queries.
    bool IsOpen() const;
    bool IsConnected() const;

  private:
    LinkTimeouts m_timeouts;
    bool m_datagram = false;
    Connection m_connection;  // everything but the lock and the waits
};

}  // namespace kelvarin
