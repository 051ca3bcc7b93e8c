// Transports: what runs over a device's socket once it is connected, plain
// Modbus/TCP or TLS. A connection (connection.h) makes one for every connect
// from its settings; a new transport is a class in a file of its own here,
// its options in TransportSettings, and one line in MakeTransport.
#pragma once

#include "device_link.h"
#include "net.h"
#include "tls.h"

#include <memory>
#include <string>

namespace kelvarin {

// Everything a transport may need to know, as the operator set it.
struct TransportSettings {
    bool datagram = false;              // UDP instead of TCP (plain only)
    std::shared_ptr<tls::Context> tls;  // a client's: Modbus/TCP Security; nullptr: plain
};

// The bytes of one connection, over its connected non-blocking socket (not
// owned). Every call returns at once.
class Transport {
  public:
    virtual ~Transport() = default;

    // Takes the transport's opening exchange as far as it goes now: kOk once
    // done (at once for plain TCP), kWouldBlock with what to wait for in
    // *wantRead / *wantWrite, kFailed (facts then say why).
    virtual net::Status Handshake(bool* wantRead, bool* wantWrite) = 0;

    // As net::Receive and net::Send: kOk with a count, kWouldBlock, kClosed, kFailed.
    virtual net::IoResult Read(void* buffer, std::size_t length) = 0;
    virtual net::IoResult Write(const void* data, std::size_t length) = 0;

    // True when bytes wait to be read that no wait on the socket would show.
    virtual bool Buffered() const { return false; }

    // Says goodbye, as far as the socket takes it now.
    virtual void Shutdown() {}

    // Adds what the transport knows to *facts (TLS: version, certificate,
    // resumption, why it failed).
    virtual void AddFacts(ConnectionFacts* /*facts*/) const {}
};

// The transport settings ask for over socket, connected to peer (host as
// dialled, port): TLS when settings hold a context, else plain.
std::unique_ptr<Transport> MakeTransport(const TransportSettings& settings, net::Socket socket,
                                         const net::Endpoint& peer, const std::string& host,
                                         int port);

}  // namespace kelvarin
