// A small blocking TCP client for tests that talk to a server on 127.0.0.1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvarin::test {

// One connection to 127.0.0.1:port. Every wait is bounded by a time-out, so a
// server that does not answer fails a test instead of hanging it.
class LoopbackClient {
  public:
    explicit LoopbackClient(int port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // True when the connection was made.
    bool Connected() const { return m_fd >= 0; }

    // Sends all of bytes; false when the connection fails.
    bool Send(std::string_view bytes);

    // Receives until size bytes have arrived, the peer closes or timeoutMs
    // passes; returns what arrived (short on close or time-out).
    std::string Receive(std::size_t size, int timeoutMs = 2000);

    // Receives until the peer closes or timeoutMs passes; returns what arrived.
    std::string ReceiveAll(int timeoutMs = 2000);

    // True once the peer has closed (end of stream or reset).
    bool PeerClosed() const { return m_peerClosed; }

    // Reads that returned data since the connection was made.
    int ReadCount() const { return m_reads; }

    // Closes the connection now.
    void Close();

  private:
    // One read of at most limit bytes into out, waiting until deadlineMs
    // (a steady clock's milliseconds); false on time-out or close.
    bool ReadOnce(std::string& out, std::size_t limit, long long deadlineMs);

    std::intptr_t m_fd = -1;  // the socket; on Windows a SOCKET
    bool m_peerClosed = false;
    int m_reads = 0;
};

// A loopback port where nothing listens: bound, then released; 0 when none
// could be bound.
int UnusedPort();

}  // namespace kelvarin::test
