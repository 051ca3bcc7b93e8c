// CSocketLink: an IPv4 socket link with a bounded connect and receive.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "net.h"
#include "tls.h"

#include <atomic>
#include <memory>
#include <string>

namespace kelvarin {

// One IPv4 socket, stream (TCP) or datagram (UDP), non-blocking after Open.
// Connect waits at most the connect time-out; every other wait is the
// caller's, through Wait, with the socket layer's wait (no spinning).
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

    // Of the last connect over TLS: the version, the device certificate's
    // subject, whether it resumed a session, why it failed (kNone when it
    // did not), and the handshakes made.
    std::string TlsVersion() const;
    std::string TlsPeerSubject() const;
    bool TlsResumed() const;
    tls::Failure TlsFailure() const { return m_tlsFailure; }
    const std::string& TlsDetail() const { return m_tlsDetail; }
    int TlsHandshakes() const { return m_handshakes; }

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
    std::string ConnectionFacts() const override;

    // State queries.
    bool IsOpen() const;
    bool IsConnected() const;

  private:
    // The TLS handshake on the connected socket, a step: as FinishConnect.
    net::Status HandshakeStep(bool* wantRead, bool* wantWrite);
    net::IoResult NotedTls(net::IoResult result);

    LinkTimeouts m_timeouts;
    int m_localPort = 0;
    int m_port = 0;
    net::Socket m_socket = net::kNoSocket;
    net::Endpoint m_peer;
    std::string m_host;
    bool m_datagram = false;
    bool m_open = false;
    bool m_connected = false;
    bool m_connecting = false;  // a connect (or its TLS handshake) is under way
    std::shared_ptr<tls::Context> m_tlsContext;
    std::unique_ptr<tls::Stream> m_tls;
    tls::Failure m_tlsFailure = tls::Failure::kNone;
    std::string m_tlsDetail;
    int m_handshakes = 0;
};

}  // namespace kelvarin
