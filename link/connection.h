// A connection to one device: its socket, connected without waiting, and the
// transport over it (plain or TLS), as a transfer's driver uses it. The
// fleet holds one per device and waits on all of them at once; the window's
// link (CSocketLink) is one plus a lock and its own waits.
#pragma once

#include "device_link.h"
#include "net.h"
#include "transport.h"

#include <memory>
#include <string>

namespace kelvarin {

// One device's connection. Not thread-safe: whoever shares it locks.
class Connection : public TransferIo {
  public:
    Connection();
    ~Connection() override;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // What runs over the socket from the next connect on.
    void SetTransport(TransportSettings settings);
    const TransportSettings& Settings() const { return m_settings; }

    // Creates the socket (stream or datagram as the settings say) bound to
    // any local address and localPort (0: any). False when already open or
    // when it cannot be created or bound.
    bool Open(int localPort);

    // The device to connect to: host (a dotted IPv4 address, else a host
    // name resolved to its first IPv4 address) and port. False when the
    // port is outside 1..65535 or host cannot be resolved or names no
    // device (empty, 0.0.0.0).
    bool SetPeer(const std::string& host, int port);

    // Starts connecting the open socket to the peer: kOk when connected at
    // once (a datagram link, or plain TCP that connected at once),
    // kWouldBlock while under way (wait for writable, then FinishConnect),
    // kFailed. A new connection's transaction ids start at 1.
    net::Status BeginConnect();

    // TransferIo: a connect again (a new socket to the same peer), its end
    // (the transport's handshake included), the bytes, the drop.
    net::Status StartConnect() override;
    net::Status FinishConnect(bool* wantRead, bool* wantWrite) override;
    net::IoResult Read(void* buffer, std::size_t length) override;
    net::IoResult Write(const void* data, std::size_t length) override;
    bool Buffered() const override;
    ConnectionFacts Facts() const override;
    // Gives up the connection; the socket stays until the next connect
    // replaces it.
    void Drop() override;

    // Ends the transport politely and closes the socket.
    void Close();

    // A connect whose time ran out: kept as a TLS time-out when the
    // transport's handshake had begun.
    void ConnectTimedOut();

    net::Socket Socket() const { return m_socket; }
    bool IsOpen() const { return m_socket != net::kNoSocket; }
    bool IsConnected() const { return m_connected; }
    bool IsConnecting() const { return m_connecting; }
    const std::string& Host() const { return m_host; }
    int Port() const { return m_port; }

  private:
    net::Status Begin();
    net::Status Handshake(bool* wantRead, bool* wantWrite);

    TransportSettings m_settings;
    int m_localPort = 0;
    net::Socket m_socket = net::kNoSocket;
    net::Endpoint m_peer;
    bool m_hasPeer = false;
    std::string m_host;
    int m_port = 0;
    bool m_connected = false;
    bool m_connecting = false;  // a connect (or its handshake) is under way
    std::unique_ptr<Transport> m_transport;
    bool m_handshaking = false;  // the transport's handshake has begun
    // Why the last handshake failed, kept past the transport it was of.
    tls::Failure m_failure = tls::Failure::kNone;
    std::string m_detail;
    int m_handshakes = 0;
};

}  // namespace kelvarin
