// The transport to a device: send a frame, receive what comes back.
#pragma once

#include "net.h"
#include "tick_timer.h"

#include <chrono>
#include <cstddef>
#include <mutex>
#include <thread>

namespace kelvarin {

// An abstract link to a device. Every operation of a link takes the link's
// lock for its whole duration, so one link may be shared by threads: a
// Close from one thread waits for a Send or Receive of another to end.
class CDeviceLink {
  public:
    virtual ~CDeviceLink() = default;

    // Receives up to length bytes into buffer, waiting at most the link's
    // reply time-out. Returns the bytes received, 0 on time-out (or when the
    // link is not connected), -1 when the connection was closed by the peer
    // or failed.
    virtual int Receive(void* buffer, int length) = 0;

    // Sends all length bytes of data, waiting at most the link's send
    // time-out for room. Returns length, 0 when the link is not connected, -1
    // when the frame could not be sent whole.
    virtual int Send(const void* data, int length) = 0;

    // Receives up to length bytes, waiting at most timeoutMs (0: only what
    // has already arrived): kOk with the count, kTimedOut when nothing came,
    // kClosed when the peer closed the connection, kFailed when it failed or
    // the link is not connected.
    virtual net::IoResult ReceiveFor(void* buffer, std::size_t length, int timeoutMs) = 0;

    // Sends all length bytes of data, waiting at most timeoutMs for room:
    // kOk with length, kTimedOut when the frame could not leave whole in
    // time, kFailed when the connection failed or the link is not connected.
    virtual net::IoResult SendFor(const void* data, std::size_t length, int timeoutMs) = 0;

    // Drops the connection and connects again to the same peer, waiting at
    // most the connect time-out: kOk, or kFailed (the link is then not
    // connected). A link that cannot connect again returns kFailed.
    virtual net::Status Reconnect() { return net::Status::kFailed; }

    // Waits ms milliseconds without using the connection (a pause between
    // tries).
    virtual void Idle(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    // The time by which the link's waits are measured: a monotonic clock
    // (a link that only pretends to wait, in tests, keeps its own).
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }

  protected:
    mutable std::mutex m_lock;
    CTickTimer m_timer;
};

}  // namespace kelvarin
