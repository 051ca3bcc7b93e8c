// The transport to a device: send a frame, receive what comes back.
#pragma once

#include "tick_timer.h"

#include <mutex>

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

    // Receive, waiting at most timeoutMs instead of the link's time-out
    // (0: only what has already arrived). Same results as Receive.
    virtual int ReceiveFor(void* buffer, int length, int timeoutMs) = 0;

    // Send, waiting at most timeoutMs for room. Same results as Send.
    virtual int SendFor(const void* data, int length, int timeoutMs) = 0;

  protected:
    mutable std::mutex m_lock;
    CTickTimer m_timer;
};

}  // namespace kelvarin
