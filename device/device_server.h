// The simulated device's server: a Modbus/TCP port that stores web images
// and an HTTP port that serves them, for one device or for many, each with
// its own memory and ports.
//
// One thread with a plain poll over non-blocking sockets (no Asio): every
// connection has its own input and output buffers and timers, so a slow or
// idle client never holds up another. A stop request arrives as a socket in
// the same poll, so it cannot slip between a check and the wait.
#pragma once

#include "device_connection.h"
#include "device_faults.h"
#include "device_identity.h"
#include "device_memory.h"
#include "net.h"
#include "stop_signal.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace kelvarin::device {

// How the server is set up, from the command line.
struct DeviceOptions {
    std::string bindAddress = "127.0.0.1";  // IPv4 address both ports listen on
    int modbusPort = 1502;                  // 0 for any free port
    int httpPort = 8080;                    // 0 for any free port
    std::string imageOut;                   // memory dump after each write burst; empty for none
    std::string image;                      // what every memory holds from the start (an
                                            // image from the packer); empty for all fill
    FaultMode fault;
    LinkModel link;  // latency, loss, requests answered at once
    std::chrono::milliseconds httpRequestTimeout{5000};  // to send a whole request head
    std::chrono::milliseconds modbusIdleTimeout{60000};  // a Modbus client's silence
    std::shared_ptr<tls::Context> tls;  // a server's: the Modbus ports speak only TLS; nullptr: plain
    std::chrono::milliseconds tlsHandshakeTimeout{5000};  // to finish the TLS handshake
    int count = 1;  // devices; with more than one, a non-zero port is the first of
                    // count consecutive ports and device K writes imageOut.K
    DeviceIdentity identity = DefaultIdentity();  // what function 43 answers, on every device
};

// The most devices one server runs.
inline constexpr int kMaxDevices = 4096;

// The most devices one server runs on this system: kMaxDevices, fewer where
// one wait holds fewer sockets (Windows' select()), so that the stop request,
// every device's two listeners and one client a device fit in it.
int MostDevices();

// Connections accepted per port; one more is accepted and closed at once, as
// is any past what one wait of this system holds, unless the port speaks TLS
// and one of its connections is still in its handshake: then the oldest such
// is dropped to make room.
inline constexpr int kMaxConnectionsPerPort = 64;

// Client addresses whose dropped handshakes the log names, each once; past
// that, one line says that further ones go unnamed.
inline constexpr std::size_t kMaxNamedHandshakePeers = 1024;

// The device's server.
class DeviceServer {
  public:
    // A server with a fresh (all fill) memory; nothing is opened yet.
    explicit DeviceServer(DeviceOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Takes over the stop requests (SIGINT and SIGTERM; Ctrl+C on Windows)
    // and binds both ports of every device.
    // Returns false, with a message for the user in *error, when the address
    // is bad or a port cannot be bound.
    bool Open(std::string* error);

    // "modbus ADDRESS:PORT http ADDRESS:PORT" with the bound address and
    // ports of each device, in order; valid after Open.
    std::vector<std::string> ListeningLines() const;

    // Serves both ports until a stop is asked for. Returns 0 then, 1 when
    // waiting for events fails.
    int Run();

  private:
    // A listening socket, the address it is bound to and its connections.
    struct Listener {
        net::Socket socket = net::kNoSocket;
        PortKind kind = PortKind::kModbus;
        std::string boundAddress;  // "A.B.C.D:PORT"
        int connections = 0;
    };

    // One simulated device: its memory and its two ports.
    struct Unit {
        DeviceMemory memory;
        std::mt19937 random;  // which requests the link loses
        Listener modbus;
        Listener http;
        std::string imageOut;
    };

    // A connection and the device and port it belongs to.
    struct Accepted {
        std::unique_ptr<Connection> connection;
        Unit* unit = nullptr;
        Listener* listener = nullptr;
    };

    bool Listen(Listener& listener, int port, const char* name, std::string* error);
    void AcceptAll(Unit& unit, Listener& listener);
    // Drops the oldest connection of listener still in its TLS handshake,
    // to make room for a new one. False when none is.
    bool DropOldestHandshake(Listener& listener);
    // Why a handshake was dropped, for the log.
    enum class Dropped { kTimedOut, kForRoom };
    // Says in the log, once per client address and reason, that a TLS
    // handshake from address was dropped.
    void LogDroppedHandshake(const std::string& address, Dropped why, const Listener& listener);
    // Destroys finished connections; saves a device's image after a write
    // burst.
    void RemoveFinished();
    // Writes unit's memory to its image file (temporary file, then rename) and
    // prints "image PATH".
    void SaveImage(const Unit& unit);

    DeviceOptions m_options;
    StopSignal m_stop;
    std::vector<std::unique_ptr<Unit>> m_units;
    std::vector<Accepted> m_connections;
    std::set<std::string> m_timedOutPeers;  // addresses named for a handshake out of time
    std::set<std::string> m_evictedPeers;   // addresses named for a handshake dropped for room
    bool m_peersUnnamed = false;            // the line that further addresses go unnamed said
};

}  // namespace kelvarin::device
