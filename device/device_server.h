// The simulated device's server: a Modbus/TCP port that stores web images
// and an HTTP port that serves them.
//
// One thread with plain poll() over non-blocking sockets (no Asio): every
// connection has its own input and output buffers and timers, so a slow or
// idle client never holds up another. SIGINT and SIGTERM are blocked and read
// from a signalfd in the same poll, so a stop request cannot slip between a
// check and the wait.
#pragma once

#include "device_connection.h"
#include "device_faults.h"
#include "device_memory.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelvarin::device {

// How the server is set up, from the command line.
struct DeviceOptions {
    std::string bindAddress = "127.0.0.1";  // IPv4 address both ports listen on
    int modbusPort = 1502;                  // 0 for any free port
    int httpPort = 8080;                    // 0 for any free port
    std::string imageOut;                   // memory dump after each write burst; empty for none
    FaultMode fault;
    std::chrono::milliseconds httpRequestTimeout{5000};  // to send a whole request head
};

// Connections accepted per port; one more is accepted and closed at once.
inline constexpr int kMaxConnectionsPerPort = 64;

// The device's server.
class DeviceServer {
  public:
    // A server with a fresh (all fill) memory; nothing is opened yet.
    explicit DeviceServer(DeviceOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Takes over SIGINT and SIGTERM and binds both ports. Returns false, with
    // a message for the user in *error, when the address is bad or a port
    // cannot be bound.
    bool Open(std::string* error);

    // "modbus ADDRESS:PORT http ADDRESS:PORT" with the bound address and
    // ports; valid after Open.
    std::string ListeningLine() const;

    // Serves both ports until SIGINT or SIGTERM arrives. Returns 0 then, 1
    // when waiting for events fails.
    int Run();

  private:
    // A listening socket and the address it is bound to.
    struct Listener {
        int fd = -1;
        PortKind kind = PortKind::kModbus;
        std::string boundAddress;  // "A.B.C.D:PORT"
    };

    bool Listen(Listener& listener, int port, const char* name, std::string* error);
    void AcceptAll(const Listener& listener);
    int CountOn(PortKind kind) const;
    // Destroys finished connections; saves the image after a write burst.
    void RemoveFinished();
    // Writes the memory to the image file (temporary file, then rename) and
    // prints "image PATH".
    void SaveImage();

    DeviceOptions m_options;
    DeviceMemory m_memory;
    int m_signalFd = -1;
    Listener m_modbus;
    Listener m_http;
    std::vector<std::unique_ptr<Connection>> m_connections;
};

}  // namespace kelvarin::device
