// Plain Modbus/TCP (or UDP): the socket's bytes as they are.
#include "transport.h"

namespace kelvarin {

namespace {

class PlainTransport : public Transport {
  public:
    PlainTransport(net::Socket socket, const net::Endpoint& peer, bool datagram)
        : m_socket(socket), m_peer(peer), m_datagram(datagram) {}

    net::Status Handshake(bool* wantRead, bool* wantWrite) override {
        *wantRead = *wantWrite = false;
        return net::Status::kOk;
    }
    net::IoResult Read(void* buffer, std::size_t length) override {
        return net::Receive(m_socket, buffer, length);
    }
    net::IoResult Write(const void* data, std::size_t length) override {
        return m_datagram ? net::SendTo(m_socket, data, length, m_peer)
                          : net::Send(m_socket, data, length);
    }

  private:
    net::Socket m_socket;
    net::Endpoint m_peer;
    bool m_datagram;
};

}  // namespace

std::unique_ptr<Transport> MakePlainTransport(net::Socket socket, const net::Endpoint& peer,
                                              bool datagram) {
    return std::make_unique<PlainTransport>(socket, peer, datagram);
}

}  // namespace kelvarin
