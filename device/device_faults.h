// Fault modes: ways the simulated device misbehaves on purpose, chosen on its
// command line, so a client's error handling can be tested against it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace kelvarin::device {

// What the device does wrong.
enum class FaultKind {
    kNone,
    kSilent,      // "silent": stores requests but never replies
    kException,   // "exception": answers every request with exception 04, stores nothing
    kDelay,       // "delay=MS": every reply MS late
    kLate,        // "late=N[:MS]": the N-th reply of a connection MS late (default 500)
    kSplit,       // "split": each reply sent one byte at a time, 1 ms apart
    kTrickle,     // "trickle=MS": each reply sent one byte at a time, MS apart
    kStream,      // "stream=N": the N-th reply of a connection, then copies of it without
                  // end, and no other reply (a device that floods)
    kCloseAfter,  // "close-after=N": closes on the N-th request of a connection, unanswered
    kCorrupt,     // "corrupt=N": the N-th reply of a connection has its last byte flipped
    kFlipStore,   // "flip-store=N": the N-th write of a connection is echoed as sent but
                  // stored with one byte changed (memory gone bad)
    kNoRead,      // "no-read": Read File Record answered with exception 01, as by a
                  // device without it
};

// How the network to the device and the device's queue behave, besides the
// fault mode: a slow link, a lossy one, a device that takes only so many
// requests at once.
struct LinkModel {
    int latencyMs = 0;        // one way: a reply leaves 2 x latencyMs after its request came
    double lossPercent = 0;   // this share of requests is lost on the way, unanswered
    unsigned lossSeed = 1;    // the losses are drawn from this seed, the same each run
    int maxInFlight = 0;      // requests answered at once; 0 for no limit
    bool dropPastMax = false;  // past the limit: dropped unanswered, not exception 06
    // The one unit identifier answered, as a gateway with one device behind
    // it; -1 for any. Requests for another unit get no answer, or with
    // unitMissingException exception 0B (gateway target device failed to
    // respond); nothing of theirs is stored.
    int unit = -1;
    bool unitMissingException = false;
    // With TLS, the roles a client certificate must name to write (function
    // 21) and to read (20); empty: any authenticated client may.
    std::vector<std::string> writeRoles;
    std::vector<std::string> readRoles;

    // True when any of it differs from a perfect link.
    bool Any() const { return latencyMs > 0 || lossPercent > 0 || maxInFlight > 0; }
};

// Parses "PERCENT[:SEED]" (0 <= PERCENT <= 100, decimals allowed) into
// model's loss. False for anything else.
bool ParseLoss(std::string_view text, LinkModel& model);

// A fault mode and its numbers.
struct FaultMode {
    FaultKind kind = FaultKind::kNone;
    int count = 0;    // N of late, close-after, corrupt and flip-store (1-based)
    int delayMs = 0;  // MS of delay, late and trickle
};

// The default delay of "late=N".
inline constexpr int kDefaultLateMs = 500;
// The largest delay accepted, so a typo cannot hang a client for hours.
inline constexpr int kMaxFaultDelayMs = 600000;

// Parses a fault mode as given on the command line ("none", "silent",
// "exception", "delay=MS", "late=N[:MS]", "split", "trickle=MS",
// "close-after=N", "corrupt=N", "flip-store=N", "stream=N", "no-read"; N >= 1,
// 0 <= MS <= kMaxFaultDelayMs, 1 <= MS for trickle). Returns nullopt for
// anything else.
std::optional<FaultMode> ParseFaultMode(std::string_view text);

}  // namespace kelvarin::device
