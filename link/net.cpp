// What the socket layer is on every system, over its own file.
#include "net.h"

namespace kelvarin::net {

Status WaitFor(Socket socket, bool read, bool write, int timeoutMs) {
    PollEntry entry{socket, read, write};
    return Poll({&entry, 1}, timeoutMs).status;
}

}  // namespace kelvarin::net
