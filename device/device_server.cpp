// The device's poll loop: signals, two listeners, and the connections.
#include "device_server.h"

#include "files.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace kelvarin::device {

namespace {

std::string SystemError() {
    return std::strerror(errno);
}

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

DeviceServer::DeviceServer(DeviceOptions options) : m_options(std::move(options)) {
    const int count = std::clamp(m_options.count, 1, kMaxDevices);
    for (int k = 0; k < count; ++k) {
        auto unit = std::make_unique<Unit>();
        unit->modbus.kind = PortKind::kModbus;
        unit->http.kind = PortKind::kHttp;
        if (!m_options.imageOut.empty()) {
            unit->imageOut =
                count == 1 ? m_options.imageOut : m_options.imageOut + "." + std::to_string(k);
        }
        m_units.push_back(std::move(unit));
    }
}

DeviceServer::~DeviceServer() {
    m_connections.clear();
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
    for (const auto& unit : m_units) {
        for (int fd : {unit->modbus.fd, unit->http.fd}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
}

bool DeviceServer::Open(std::string* error) {
    // A client that goes away must not kill the server through a write to
    // its socket or to a closed standard output.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        *error = "cannot block signals: " + SystemError();
        return false;
    }
    m_signalFd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signalFd < 0) {
        *error = "cannot create a signal descriptor: " + SystemError();
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
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (port < 0 || port > 65535 ||
        inet_pton(AF_INET, m_options.bindAddress.c_str(), &address.sin_addr) != 1) {
        *error = "bad " + std::string(name) + " address " + m_options.bindAddress + ":" +
                 std::to_string(port);
        return false;
    }
    const std::string wanted = m_options.bindAddress + ":" + std::to_string(port);
    listener.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener.fd < 0) {
        *error = "cannot create the " + std::string(name) + " socket: " + SystemError();
        return false;
    }
    int on = 1;
    ::setsockopt(listener.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // A long accept queue: a burst of clients waits for accept() instead of
    // having its handshakes dropped (and retried only a second later). The
    // connection limit is applied as they are accepted.
    if (::bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.fd, SOMAXCONN) != 0) {
        *error = "cannot listen on " + std::string(name) + " port " + wanted + ": " + SystemError();
        return false;
    }
    socklen_t size = sizeof address;
    ::getsockname(listener.fd, reinterpret_cast<sockaddr*>(&address), &size);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    listener.boundAddress = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
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
        int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EINTR) {
                continue;  // that client gave up while queued; take the next
            }
            return;  // EAGAIN: all taken; anything else: try on the next wake-up
        }
        if (listener.connections >= kMaxConnectionsPerPort) {
            ::close(fd);  // full: the client sees the connection close at once
            continue;
        }
        Accepted accepted;
        if (listener.kind == PortKind::kModbus) {
            accepted.connection =
                std::make_unique<ModbusConnection>(fd, unit.memory, m_options.fault);
        } else {
            accepted.connection = std::make_unique<HttpConnection>(
                fd, unit.memory, m_options.httpRequestTimeout, Clock::now());
        }
        accepted.unit = &unit;
        accepted.listener = &listener;
        ++listener.connections;
        m_connections.push_back(std::move(accepted));
    }
}

void DeviceServer::RemoveFinished() {
    std::vector<const Unit*> burstsEnded;
    std::erase_if(m_connections, [&burstsEnded](const Accepted& accepted) {
        const Connection& c = *accepted.connection;
        if (!c.Finished()) {
            return false;
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
    if (!ReplaceFile(path, unit.memory.Bytes(), &error)) {
        std::fprintf(stderr, "kelvarin-device: cannot write image %s: %s\n", path.c_str(),
                     error.c_str());
        return;
    }
    std::printf("image %s\n", path.c_str());
    std::fflush(stdout);
}

int DeviceServer::Run() {
    std::vector<pollfd> fds;
    const std::size_t listeners = 2 * m_units.size();
    for (;;) {
        TimePoint now = Clock::now();
        fds.clear();
        fds.push_back({m_signalFd, POLLIN, 0});
        for (const auto& unit : m_units) {
            fds.push_back({unit->modbus.fd, POLLIN, 0});
            fds.push_back({unit->http.fd, POLLIN, 0});
        }
        TimePoint wake = TimePoint::max();
        for (const Accepted& accepted : m_connections) {
            const Connection& connection = *accepted.connection;
            fds.push_back({connection.Fd(), connection.Events(now), 0});
            wake = std::min(wake, connection.NextTimer(now));
        }
        int ready = ::poll(fds.data(), fds.size(), PollTimeout(now, wake));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "kelvarin-device: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents != 0) {
            signalfd_siginfo info;
            [[maybe_unused]] ssize_t got = ::read(m_signalFd, &info, sizeof info);
            return 0;
        }
        now = Clock::now();
        // Connections first, while their indices still match fds.
        for (std::size_t i = 0; i < m_connections.size(); ++i) {
            m_connections[i].connection->Service(fds[1 + listeners + i].revents, now);
        }
        RemoveFinished();
        for (std::size_t k = 0; k < m_units.size(); ++k) {
            Unit& unit = *m_units[k];
            if (fds[1 + 2 * k].revents != 0) {
                AcceptAll(unit, unit.modbus);
            }
            if (fds[2 + 2 * k].revents != 0) {
                AcceptAll(unit, unit.http);
            }
        }
    }
}

}  // namespace kelvarin::device
