// What the socket layer is on every system, over its own file.
#include "net_system.h"

#include "ipv4.h"

namespace kelvarin::net {

sockaddr_in AddressOf(const Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(endpoint.address);
    address.sin_port = htons(endpoint.port);
    return address;
}

std::optional<Endpoint> Resolve(const std::string& host, int port) {
    if (port < 0 || port > 65535 || Startup() != Status::kOk) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    if (IsAddressText(host)) {
        // Never the resolver's: it would read "010" as octal, "10.1" as
        // 10.0.0.1.
        const std::optional<std::uint32_t> parsed = ParseDottedQuad(host);
        if (!parsed) {
            return std::nullopt;
        }
        address = *parsed;
    } else {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            return std::nullopt;
        }
        address = ntohl(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
        freeaddrinfo(found);
    }
    if (address == 0) {
        return std::nullopt;
    }
    return Endpoint{address, static_cast<std::uint16_t>(port)};
}

Status WaitFor(Socket socket, bool read, bool write, int timeoutMs) {
    PollEntry entry{socket, read, write};
    return Poll({&entry, 1}, timeoutMs).status;
}

}  // namespace kelvarin::net
