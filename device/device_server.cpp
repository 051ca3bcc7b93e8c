// The device's poll loop: the stop request, two listeners a device, the connections.
#include "device_server.h"

#include "catalog.h"
#include "files.h"
#include "ipv4.h"

#include <algorithm>
#include <cstdio>

namespace kelvarin::device {

namespace {

// Milliseconds poll may wait to wake by `when`: rounded up, so it never wakes
// early and spins; -1 for no time limit.
int PollTimeout(TimePoint now, TimePoint when) {
    if (when == TimePoint::max()) {
        return -1;
    }
    if (when <= now) {
        return 0;
    }
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<decltype(wait)>(wait, 60000));
}

}  // namespace

int MostDevices() {
    const std::size_t sockets = net::MaxWaitSockets();
    const std::size_t fit = (sockets - 1) / 3;  // listeners and a client each, and the stop
    return static_cast<int>(std::min<std::size_t>(fit, kMaxDevices));
}

DeviceServer::DeviceServer(DeviceOptions options) : m_options(std::move(options)) {
    const int count = std::clamp(m_options.count, 1, MostDevices());
    for (int k = 0; k < count; ++k) {
        auto unit = std::make_unique<Unit>();
        unit->random.seed(m_options.link.lossSeed + static_cast<unsigned>(k));
        unit->modbus.kind = PortKind::kModbus;
        unit->http.kind = PortKind::kHttp;
        unit->memory.Write(0, m_options.image);  // an image larger than the memory is refused earlier
        if (!m_options.imageOut.empty()) {
            unit->imageOut =
                count == 1 ? m_options.imageOut : m_options.imageOut + "." + std::to_string(k);
        }
        m_units.push_back(std::move(unit));
    }
}

DeviceServer::~DeviceServer() {
    m_connections.clear();
    for (const auto& unit : m_units) {
        net::Close(unit->modbus.socket);
        net::Close(unit->http.socket);
    }
}

bool DeviceServer::Open(std::string* error) {
    // A client that goes away must not kill the server through a write to
    // its socket.
    net::Startup();
    if (!m_stop.Open(error)) {
        *error = MessageCatalog(LanguageFromEnvironment()).Text(MessageId::kStopNotTakenOver, {*error});
        return false;
    }
    // Many devices need many descriptors: two listeners each, and their
    // clients.
    RaiseOpenFileLimit();
    for (std::size_t k = 0; k < m_units.size(); ++k) {
        // A fixed port is the first of consecutive ones; 0 stays "any".
        const auto portFor = [k](int first) {
            return first == 0 ? 0 : first + static_cast<int>(k);
        };
        Unit& unit = *m_units[k];
        if (!Listen(unit.modbus, portFor(m_options.modbusPort), "modbus", error) ||
            !Listen(unit.http, portFor(m_options.httpPort), "http", error)) {
            return false;
        }
    }
    return true;
}

bool DeviceServer::Listen(Listener& listener, int port, const char* name, std::string* error) {
    const std::string where = m_options.bindAddress + ":" + std::to_string(port);
    const std::optional<std::uint32_t> address = ParseDottedQuad(m_options.bindAddress);
    if (!address || port < 0 || port > 65535) {
        *error = MessageCatalog(LanguageFromEnvironment())
                     .Text(MessageId::kListenFailed, {name, where, "bad address"});
        return false;
    }
    listener.socket = net::Listen({*address, static_cast<std::uint16_t>(port)});
    if (listener.socket == net::kNoSocket) {
        *error = MessageCatalog(LanguageFromEnvironment())
                     .Text(MessageId::kListenFailed, {name, where, net::LastError()});
        return false;
    }
    listener.boundAddress = net::LocalAddress(listener.socket);
    return true;
}

std::vector<std::string> DeviceServer::ListeningLines() const {
    std::vector<std::string> lines;
    for (const auto& unit : m_units) {
        lines.push_back("modbus " + unit->modbus.boundAddress + " http " + unit->http.boundAddress);
    }
    return lines;
}

void DeviceServer::AcceptAll(Unit& unit, Listener& listener) {
    for (;;) {
        const net::Socket fd = net::Accept(listener.socket);
        if (fd == net::kNoSocket) {
            return;  // all taken, or try again on the next wake-up
        }
        // The stop request, the listeners, the connections: one wait must
        // hold them all (select() on Windows drops what does not fit).
        const auto full = [&] {
            const std::size_t watched = 1 + 2 * m_units.size() + m_connections.size();
            return listener.connections >= kMaxConnectionsPerPort ||
                   watched >= net::MaxWaitSockets();
        };
        // A handshake takes milliseconds; one still under way when the port
        // is full is the likeliest to be idle, and gives way, so sockets
        // that never finish theirs cannot lock the port for their time.
        if (full() && !DropOldestHandshake(listener)) {
            net::Close(fd);  // full: the client sees the connection close at once
            continue;
        }
        Accepted accepted;
        const TimePoint now = Clock::now();
        if (listener.kind == PortKind::kModbus) {
            accepted.connection = std::make_unique<ModbusConnection>(
                fd, unit.memory, m_options.identity, m_options.fault, m_options.link, unit.random,
                m_options.modbusIdleTimeout, now);
            if (m_options.tls) {
                accepted.connection->StartTls(m_options.tls, m_options.tlsHandshakeTimeout, now);
            }
        } else {
            accepted.connection = std::make_unique<HttpConnection>(
                fd, unit.memory, m_options.httpRequestTimeout, now);
        }
        accepted.unit = &unit;
        accepted.listener = &listener;
        ++listener.connections;
        m_connections.push_back(std::move(accepted));
    }
}

bool DeviceServer::DropOldestHandshake(Listener& listener) {
    // Connections are kept in the order they came.
    const auto oldest =
        std::find_if(m_connections.begin(), m_connections.end(), [&listener](const Accepted& a) {
            return a.listener == &listener && a.connection->Handshaking() &&
                   !a.connection->Finished();
        });
    if (oldest == m_connections.end()) {
        return false;
    }
    LogDroppedHandshake(oldest->connection->PeerAddress(), Dropped::kForRoom, listener);
    --listener.connections;
    m_connections.erase(oldest);
    return true;
}

void DeviceServer::LogDroppedHandshake(const std::string& address, Dropped why,
                                       const Listener& listener) {
    std::set<std::string>& named = why == Dropped::kTimedOut ? m_timedOutPeers : m_evictedPeers;
    if (named.count(address) != 0) {
        return;
    }
    if (named.size() >= kMaxNamedHandshakePeers) {
        if (!m_peersUnnamed) {
            m_peersUnnamed = true;
            std::fprintf(stderr,
                         "kelvarin-device: TLS handshakes dropped from more client addresses "
                         "than %zu: the further ones are not named\n",
                         kMaxNamedHandshakePeers);
            std::fflush(stderr);
        }
        return;
    }
    named.insert(address);
    const std::string who = address.empty() ? std::string("a client") : address;
    if (why == Dropped::kTimedOut) {
        std::fprintf(stderr,
                     "kelvarin-device: %s: a TLS handshake on %s not finished within %lld ms "
                     "was dropped (said once per address; later ones go unsaid)\n",
                     who.c_str(), listener.boundAddress.c_str(),
                     static_cast<long long>(m_options.tlsHandshakeTimeout.count()));
    } else {
        std::fprintf(stderr,
                     "kelvarin-device: %s: a TLS handshake on %s still unfinished was dropped "
                     "to make room for a new connection, the port being full (said once per "
                     "address; later ones go unsaid)\n",
                     who.c_str(), listener.boundAddress.c_str());
    }
    std::fflush(stderr);
}

void DeviceServer::RemoveFinished() {
    std::vector<const Unit*> burstsEnded;
    std::erase_if(m_connections, [this, &burstsEnded](const Accepted& accepted) {
        const Connection& c = *accepted.connection;
        if (!c.Finished()) {
            return false;
        }
        if (c.HandshakeTimedOut()) {
            LogDroppedHandshake(c.PeerAddress(), Dropped::kTimedOut, *accepted.listener);
        }
        if (c.Kind() == PortKind::kModbus &&
            static_cast<const ModbusConnection&>(c).WroteRecord() &&
            std::find(burstsEnded.begin(), burstsEnded.end(), accepted.unit) == burstsEnded.end()) {
            burstsEnded.push_back(accepted.unit);
        }
        --accepted.listener->connections;
        return true;
    });
    for (const Unit* unit : burstsEnded) {
        if (!unit->imageOut.empty()) {
            SaveImage(*unit);
        }
    }
}

void DeviceServer::SaveImage(const Unit& unit) {
    const std::string& path = unit.imageOut;
    // Replaced whole, so a reader never sees half an image.
    std::string error;
    if (!WriteWholeFile(path, unit.memory.Bytes(), &error)) {
        const std::string line = MessageCatalog(LanguageFromEnvironment())
                                     .Text(MessageId::kImageNotWritten, {path, error});
        std::fprintf(stderr, "kelvarin-device: %s\n", line.c_str());
        return;
    }
    std::printf("image %s\n", path.c_str());
    std::fflush(stdout);
}

int DeviceServer::Run() {
    std::vector<net::PollEntry> entries;
    const std::size_t listeners = 2 * m_units.size();
    for (;;) {
        TimePoint now = Clock::now();
        entries.clear();
        entries.push_back({m_stop.Socket(), true, false});
        for (const auto& unit : m_units) {
            entries.push_back({unit->modbus.socket, true, false});
            entries.push_back({unit->http.socket, true, false});
        }
        TimePoint wake = TimePoint::max();
        for (const Accepted& accepted : m_connections) {
            const Connection& connection = *accepted.connection;
            entries.push_back(
                {connection.Socket(), connection.WantsRead(now), connection.WantsWrite(now)});
            wake = std::min(wake, connection.NextTimer(now));
        }
        if (net::Poll(entries, PollTimeout(now, wake)).status == net::Status::kFailed) {
            const std::string line = MessageCatalog(LanguageFromEnvironment())
                                         .Text(MessageId::kWaitFailed, {net::LastError()});
            std::fprintf(stderr, "kelvarin-device: %s\n", line.c_str());
            return 1;
        }
        if (entries[0].readable) {
            return 0;
        }
        now = Clock::now();
        // Connections first, while their indices still match the entries.
        for (std::size_t i = 0; i < m_connections.size(); ++i) {
            const net::PollEntry& entry = entries[1 + listeners + i];
            m_connections[i].connection->Service(entry.readable, entry.writable, now);
        }
        RemoveFinished();
        for (std::size_t k = 0; k < m_units.size(); ++k) {
            Unit& unit = *m_units[k];
            if (entries[1 + 2 * k].readable) {
                AcceptAll(unit, unit.modbus);
            }
            if (entries[2 + 2 * k].readable) {
                AcceptAll(unit, unit.http);
            }
        }
    }
}

}  // namespace kelvarin::device
