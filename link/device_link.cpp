// The blocking send and receive of every link, on its non-blocking calls.
#include "device_link.h"

namespace kelvarin {

std::string ConnectionFacts::Text() const {
    if (tlsVersion.empty()) {
        return {};
    }
    return tlsVersion + (tlsResumed ? ", session resumed" : ", full handshake");
}

namespace {

int MsLeft(std::chrono::steady_clock::time_point now,
           std::chrono::steady_clock::time_point deadline) {
    if (now >= deadline) {
        return 0;
    }
    return static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

}  // namespace

net::IoResult CDeviceLink::Receive(void* buffer, std::size_t length, int timeoutMs) {
    if (length == 0) {
        return {net::Status::kTimedOut, 0};
    }
    const auto deadline = Now() + std::chrono::milliseconds(timeoutMs);
    // With a wait allowed, wait first: a reply is rarely in before its
    // request has been answered, and a read that finds nothing is a wasted
    // system call.
    bool waitFirst = timeoutMs > 0;
    for (;;) {
        if (waitFirst) {
            const int left = MsLeft(Now(), deadline);
            if (left <= 0) {
                return {net::Status::kTimedOut, 0};
            }
            if (Wait(true, false, left) == net::Status::kTimedOut) {
                return {net::Status::kTimedOut, 0};
            }
        }
        const net::IoResult got = Read(buffer, length);
        if (got.status != net::Status::kWouldBlock) {
            return got;  // bytes, the peer's close, or a failure
        }
        if (timeoutMs <= 0) {
            return {net::Status::kTimedOut, 0};
        }
        waitFirst = true;  // a readiness that came to nothing: wait for more
    }
}

net::IoResult CDeviceLink::Send(const void* data, std::size_t length, int timeoutMs) {
    // A frame may take several writes when the socket's buffer is full; it
    // goes out whole or the send fails.
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto deadline = Now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < length) {
        const net::IoResult sent = Write(bytes + done, length - done);
        if (sent.Ok()) {
            done += sent.count;
            continue;
        }
        if (sent.status != net::Status::kWouldBlock) {
            return {net::Status::kFailed, 0};
        }
        const int left = MsLeft(Now(), deadline);
        const net::Status ready =
            left > 0 ? Wait(false, true, left) : net::Status::kTimedOut;
        if (ready == net::Status::kTimedOut) {
            return {net::Status::kTimedOut, 0};
        }
    }
    return {net::Status::kOk, length};
}

}  // namespace kelvarin
