// Stop requests on POSIX: SIGINT and SIGTERM blocked and read from a signalfd.
#include "stop_signal.h"

#include <sys/signalfd.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace kelvarin::device {

StopSignal::~StopSignal() {
    net::Close(m_socket);
}

bool StopSignal::Open(std::string* error) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        *error = std::string("cannot block signals: ") + std::strerror(errno);
        return false;
    }
    const int fd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) {
        *error = std::string("cannot create a signal descriptor: ") + std::strerror(errno);
        return false;
    }
    m_socket = fd;
    return true;
}

}  // namespace kelvarin::device
