// CSocketLink: an IPv4 socket link with a bounded connect and receive.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "net.h"

#include <string>

namespace kelvarin {

// One IPv4 socket, stream (TCP) or datagram (UDP), non-blocking after Open.
// Connect waits at most the time-out; Receive waits for data with the socket
// layer's wait up to the time-out, without spinning.
class CSocketLink : public CDeviceLink {
  public:
    // The most bytes one Receive reads; it reads straight into the caller's
    // buffer, never more than the caller asked for, so nothing is dropped.
    static constexpr int kReceiveBufferSize = 10240;

    CSocketLink();
    ~CSocketLink() override;
    CSocketLink(const CSocketLink&) = delete;
    CSocketLink& operator=(const CSocketLink&) = delete;

    // Creates the socket (stream when datagram is false) and binds it to any
    // local address and localPort (0: any); timeouts bound the connect, each
    // receive and each send. False when already open or when the socket
    // cannot be created or bound; the link then stays closed.
    bool Open(int localPort, bool datagram, const LinkTimeouts& timeouts);

    // Open with the one wait timeoutMs for connect, receive and send.
    bool Open(int localPort, bool datagram, int timeoutMs) {
        return Open(localPort, datagram, LinkTimeouts::All(timeoutMs));
    }

    // Connects to host (dotted IPv4 address, else a host name resolved to its
    // first IPv4 address) and port, waiting at most the time-out. A datagram
    // link only records the peer. False when not open, already connected,
    // the host cannot be resolved or names no device (empty, 0.0.0.0; errno
    // EINVAL), the port is outside 1..65535, or the connect is refused or not
    // answered in time. Nothing is sent in any of these cases but the last.
    bool Connect(const std::string& host, int port);

    // Closes the socket when open; returns 0.
    int Close();

    int Send(const void* data, int length) override;
    int Receive(void* buffer, int length) override;
    net::IoResult ReceiveFor(void* buffer, std::size_t length, int timeoutMs) override;
    net::IoResult SendFor(const void* data, std::size_t length, int timeoutMs) override;

    // Closes the socket, opens a new one as Open did and connects it to the
    // host and port of the last Connect: kOk, or kFailed (the link is then
    // open but not connected, or closed when no socket could be made).
    net::Status Reconnect() override;

    // State queries.
    bool IsOpen() const;
    bool IsConnected() const;

  private:
    bool ConnectLocked();
    net::IoResult WaitAndReceive(void* buffer, std::size_t length, int timeoutMs);
    net::IoResult SendLocked(const void* data, std::size_t length, int timeoutMs);

    LinkTimeouts m_timeouts;
    int m_localPort = 0;
    int m_port = 0;
    net::Socket m_socket = net::kNoSocket;
    net::Endpoint m_peer;
    std::string m_host;
    bool m_datagram = false;
    bool m_open = false;
    bool m_connected = false;
};

}  // namespace kelvarin
