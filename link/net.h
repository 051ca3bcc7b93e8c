// The system's sockets, behind one small interface: IPv4 stream and datagram
// sockets, always non-blocking, and a wait over many of them (poll() on
// POSIX, select() on Windows). Everything that talks to devices (CSocketLink,
// the fleet send, the simulated device) goes through it; each system has its
// own implementation file.
//
// Every operation that can end more than one way says how with a Status; the
// ones that move bytes or count sockets return an IoResult. A handle-making
// call (Open, Accept, Listen) returns kNoSocket when it fails, and LastError
// tells why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvarin::net {

// A socket handle; kNoSocket for none.
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// How a socket operation ended.
enum class Status {
    kOk,          // done: bytes moved, connected, ready
    kWouldBlock,  // nothing can be done now: wait for readiness and try again
    kTimedOut,    // a wait ran out
    kClosed,      // the peer closed the connection (a stream receive)
    kFailed,      // the socket or the connection failed (LastError tells why)
};

// How an operation ended and, when it ended kOk, how many bytes it moved (or,
// for a wait, how many sockets are ready).
struct IoResult {
    Status status = Status::kOk;
    std::size_t count = 0;

    bool Ok() const { return status == Status::kOk; }
};

// An IPv4 address and port.
struct Endpoint {
    std::uint32_t address = 0;  // host byte order: 127.0.0.1 is 0x7F000001
    std::uint16_t port = 0;
};

// Readies the system's socket library once per process: kOk when sockets
// can be used, else kFailed.
Status Startup();

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

// Starts connecting socket to peer (a datagram socket only records it):
// kOk when connected at once, kWouldBlock while the connect is under way
// (wait for writable, then ConnectResult), kFailed.
Status StartConnect(Socket socket, const Endpoint& peer);

// Once a connect under way reports writable: kOk when it succeeded, else
// kFailed.
Status ConnectResult(Socket socket);

// Sends what the socket takes now of data: kOk with the bytes taken (at
// least one), kWouldBlock, or kFailed. Never raises a signal for a closed
// connection.
IoResult Send(Socket socket, const void* data, std::size_t length);

// Sends data to peer in one datagram: kOk with its length, or kFailed.
IoResult SendTo(Socket socket, const void* data, std::size_t length, const Endpoint& peer);

// Receives what has arrived, at most length bytes: kOk with the count (at
// least one), kClosed when the peer closed the connection (a stream socket),
// kWouldBlock, or kFailed.
IoResult Receive(Socket socket, void* buffer, std::size_t length);

// One socket of a Poll and what it waits for; Poll fills in what happened.
struct PollEntry {
    Socket socket = kNoSocket;  // kNoSocket entries are skipped
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;  // data, or the peer closed, or an error: Receive tells
    bool writable = false;  // room to send, or a connect ended: ConnectResult tells
};

// The most sockets one Poll can wait on (SIZE_MAX where there is no such
// limit; on Windows what a select() set holds).
std::size_t MaxWaitSockets();

// Waits until one of entries is ready or timeoutMs passes (-1: no limit),
// restarting after signals with the time left: kOk with the entries ready,
// kTimedOut, or kFailed (also for more than MaxWaitSockets() sockets, which
// a wait could not watch). Sleeps; never spins.
IoResult Poll(std::span<PollEntry> entries, int timeoutMs);

// Poll for one socket: kOk when it became ready within timeoutMs (readable
// or writable as asked), kTimedOut, or kFailed.
Status WaitFor(Socket socket, bool read, bool write, int timeoutMs);

// ---- Servers (the simulated device) ----

// A non-blocking TCP socket listening on local (port 0: any free port) with a
// long accept queue. kNoSocket when it cannot be made or bound (LastError
// tells why).
Socket Listen(const Endpoint& local);

// The next connection waiting on listener, non-blocking and without send
// delay; kNoSocket when none is waiting (or accepting failed).
Socket Accept(Socket listener);

// The address and port socket is bound to: "A.B.C.D:PORT".
std::string LocalAddress(Socket socket);

// The address of a connected socket's peer, without its port: "A.B.C.D";
// empty when the socket has no peer (any more).
std::string PeerAddress(Socket socket);

// Shuts down the sending side of socket (the peer sees the end of the data).
void ShutdownSend(Socket socket);

// The reason the last socket call failed, as text.
std::string LastError();

// One IPv4 address of this machine's interfaces that are up, and the
// length of its network's prefix (24 for 255.255.255.0).
struct LocalNetwork {
    std::uint32_t address = 0;  // host order
    int prefix = 0;
};

// The IPv4 addresses of the interfaces that are up, the loopback one
// included; none when they cannot be listed.
std::vector<LocalNetwork> LocalNetworks();

}  // namespace kelvarin::net
