// A request to stop the server (SIGINT or SIGTERM; Ctrl+C or closing the
// console on Windows), as a socket the server's poll loop waits on, so a stop
// cannot slip between a check and the wait. Each system has its own file.
#pragma once

#include "net.h"

#include <string>

namespace kelvarin::device {

class StopSignal {
  public:
    StopSignal() = default;
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Takes over the stop requests of the process. False, with the reason
    // in *error, when it cannot.
    bool Open(std::string* error);

    // Becomes readable once a stop has been asked for.
    net::Socket Socket() const { return m_socket; }

  private:
    net::Socket m_socket = net::kNoSocket;
};

}  // namespace kelvarin::device
