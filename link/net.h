// The system's sockets, behind one small interface: IPv4 stream and datagram
// sockets, always non-blocking, and a poll over many of them. Everything
// that talks to devices (CSocketLink, the fleet send) goes through it; each
// system has its own implementation file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kelvarin::net {

// A socket handle; kNoSocket for none.
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// An IPv4 address and port.
struct Endpoint {
    std::uint32_t address = 0;  // host byte order: 127.0.0.1 is 0x7F000001
    std::uint16_t port = 0;
};

// Readies the system's socket library once per process; true when sockets
// can be used.
bool Startup();

// host as a dotted IPv4 address (four decimal fields, see ipv4.h), else a
// host name's first IPv4 address, with port. Nothing when it cannot be
// resolved, for text written as an address that is not four decimal fields
// 0..255 (never handed to the resolver), and for 0.0.0.0, which names no
// device (a connect to it would reach this machine).
std::optional<Endpoint> Resolve(const std::string& host, int port);

// A new non-blocking IPv4 socket, bound to any local address and localPort
// (0: any); a stream socket without send delay (TCP_NODELAY) unless datagram.
// kNoSocket when it cannot be made or bound.
Socket Open(bool datagram, int localPort);

// Closes socket; harmless for kNoSocket.
void Close(Socket socket);

// How starting a connect went.
enum class ConnectStart { kConnected, kInProgress, kFailed };

// Starts connecting socket to peer (a datagram socket only records it).
ConnectStart StartConnect(Socket socket, const Endpoint& peer);

// Once a connect in progress reports writable: true when it succeeded.
bool ConnectSucceeded(Socket socket);

// Results of Send and Receive besides a byte count.
inline constexpr long kWouldBlock = -1;  // nothing can be done now; wait and retry
inline constexpr long kFailed = -2;      // the connection failed

// Sends what the socket takes now of data: the bytes taken, kWouldBlock or
// kFailed. Never raises a signal for a closed connection.
long Send(Socket socket, const void* data, std::size_t length);

// Sends data to peer in one datagram: its length, or kFailed.
long SendTo(Socket socket, const void* data, std::size_t length, const Endpoint& peer);

// Receives what has arrived, at most length bytes: the count, 0 when the
// peer closed the connection (a stream socket), kWouldBlock or kFailed.
long Receive(Socket socket, void* buffer, std::size_t length);

// One socket of a Poll and what it waits for; Poll fills in what happened.
struct PollEntry {
    Socket socket = kNoSocket;  // kNoSocket entries are skipped
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;  // data, or the peer closed, or an error: Receive tells
    bool writable = false;  // room to send, or a connect ended: ConnectSucceeded tells
};

// Waits until one of entries is ready or timeoutMs passes (-1: no limit),
// restarting after signals with the time left. Returns the entries ready, 0
// on time-out, -1 on error. Sleeps; never spins.
int Poll(std::span<PollEntry> entries, int timeoutMs);

// The most sockets one Poll can wait on (SIZE_MAX where there is no such
// limit; on Windows what a select() set holds).
std::size_t MaxWaitSockets();

// Poll for one socket: true when it became ready within timeoutMs (readable
// or writable as asked), false on time-out; nothing on error.
std::optional<bool> WaitFor(Socket socket, bool read, bool write, int timeoutMs);

// ---- Servers (the simulated device) ----

// A non-blocking TCP socket listening on address (a dotted IPv4 address as
// ParseDottedQuad reads it) and port (0: any free port) with a long accept
// queue. kNoSocket, with the reason in *error, when the address is bad or the
// port cannot be bound.
Socket Listen(const std::string& address, int port, std::string* error);

// The next connection waiting on listener, non-blocking and without send
// delay; kNoSocket when none is waiting (or accepting failed).
Socket Accept(Socket listener);

// The address and port socket is bound to: "A.B.C.D:PORT".
std::string LocalAddress(Socket socket);

// Shuts down the sending side of socket (the peer sees the end of the data).
void ShutdownSend(Socket socket);

// The reason the last socket call failed, as text.
std::string LastError();

}  // namespace kelvarin::net
