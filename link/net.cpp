// What the socket layer is on every system, over its own file.
#include "net.h"

namespace kelvarin::net {

std::optional<bool> WaitFor(Socket socket, bool read, bool write, int timeoutMs) {
    PollEntry entry{socket, read, write};
    const int ready = Poll({&entry, 1}, timeoutMs);
    if (ready < 0) {
        return std::nullopt;
    }
    return ready > 0;
}

}  // namespace kelvarin::net
