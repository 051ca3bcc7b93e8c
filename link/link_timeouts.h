// How long a link waits for each thing it does, in one place.
#pragma once

namespace kelvarin {

// The waits of a link to a device, in milliseconds. The defaults are the
// device protocol's: 200 ms to connect, 200 ms for each reply, and 200 ms for
// a frame to leave when the socket's send buffer is full.
struct LinkTimeouts {
    int connectMs = 200;
    int replyMs = 200;
    int sendMs = 200;

    // The same wait for all three.
    static constexpr LinkTimeouts All(int ms) { return {ms, ms, ms}; }
};

}  // namespace kelvarin
