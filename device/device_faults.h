// Fault modes: ways the simulated device misbehaves on purpose, chosen on its
// command line, so a client's error handling can be tested against it.
#pragma once

#include <optional>
#include <string_view>

namespace kelvarin::device {

// What the device does wrong.
enum class FaultKind {
    kNone,
    kSilent,      // "silent": stores requests but never replies
    kException,   // "exception": answers every request with exception 04, stores nothing
    kDelay,       // "delay=MS": every reply MS late
    kLate,        // "late=N[:MS]": the N-th reply of a connection MS late (default 500)
    kSplit,       // "split": each reply sent one byte at a time
    kCloseAfter,  // "close-after=N": closes on the N-th request of a connection, unanswered
    kCorrupt,     // "corrupt=N": the N-th reply of a connection has its last byte flipped
    kFlipStore,   // "flip-store=N": the N-th write of a connection is echoed as sent but
                  // stored with one byte changed (memory gone bad)
    kNoRead,      // "no-read": Read File Record answered with exception 01, as by a
                  // device without it
};

// A fault mode and its numbers.
struct FaultMode {
    FaultKind kind = FaultKind::kNone;
    int count = 0;    // N of late, close-after, corrupt and flip-store (1-based)
    int delayMs = 0;  // MS of delay and late
};

// The default delay of "late=N".
inline constexpr int kDefaultLateMs = 500;
// The largest delay accepted, so a typo cannot hang a client for hours.
inline constexpr int kMaxFaultDelayMs = 600000;

// Parses a fault mode as given on the command line ("none", "silent",
// "exception", "delay=MS", "late=N[:MS]", "split", "close-after=N",
// "corrupt=N", "flip-store=N", "no-read"; N >= 1, 0 <= MS <=
// kMaxFaultDelayMs). Returns nullopt for anything else.
std::optional<FaultMode> ParseFaultMode(std::string_view text);

}  // namespace kelvarin::device
