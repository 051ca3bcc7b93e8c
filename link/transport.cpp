// The one place that picks a transport from the settings.
#include "transport.h"

namespace kelvarin {

// Each transport's maker, in its own file.
std::unique_ptr<Transport> MakePlainTransport(net::Socket socket, const net::Endpoint& peer,
                                              bool datagram);
std::unique_ptr<Transport> MakeTlsTransport(std::shared_ptr<tls::Context> context,
                                            net::Socket socket, const std::string& host, int port);

std::unique_ptr<Transport> MakeTransport(const TransportSettings& settings, net::Socket socket,
                                         const net::Endpoint& peer, const std::string& host,
                                         int port) {
    if (settings.tls && !settings.datagram) {
        return MakeTlsTransport(settings.tls, socket, host, port);
    }
    return MakePlainTransport(socket, peer, settings.datagram);
}

}  // namespace kelvarin
