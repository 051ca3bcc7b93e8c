// Parsing fault modes.
#include "device_faults.h"

#include <charconv>

namespace kelvarin::device {

namespace {

// The whole of text as a decimal number in [low, high], or nullopt.
std::optional<int> NumberIn(std::string_view text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

constexpr int kMaxCount = 1000000;

}  // namespace

std::optional<FaultMode> ParseFaultMode(std::string_view text) {
    std::size_t equals = text.find('=');
    std::string_view name = text.substr(0, equals);
    std::string_view value =
        equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1);
    bool hasValue = equals != std::string_view::npos;

    FaultMode mode;
    if (name == "none" || name == "silent" || name == "exception" || name == "split" ||
        name == "no-read") {
        if (hasValue) {
            return std::nullopt;
        }
        mode.kind = name == "none"        ? FaultKind::kNone
                    : name == "silent"    ? FaultKind::kSilent
                    : name == "exception" ? FaultKind::kException
                    : name == "split"     ? FaultKind::kSplit
                                          : FaultKind::kNoRead;
        return mode;
    }
    if (name == "delay") {
        std::optional<int> ms = NumberIn(value, 0, kMaxFaultDelayMs);
        if (!hasValue || !ms) {
            return std::nullopt;
        }
        return FaultMode{FaultKind::kDelay, 0, *ms};
    }
    if (name == "late") {
        std::size_t colon = value.find(':');
        std::optional<int> count = NumberIn(value.substr(0, colon), 1, kMaxCount);
        std::optional<int> ms = colon == std::string_view::npos
                                    ? std::optional<int>(kDefaultLateMs)
                                    : NumberIn(value.substr(colon + 1), 0, kMaxFaultDelayMs);
        if (!hasValue || !count || !ms) {
            return std::nullopt;
        }
        return FaultMode{FaultKind::kLate, *count, *ms};
    }
    if (name == "trickle") {
        std::optional<int> ms = NumberIn(value, 1, kMaxFaultDelayMs);
        if (!hasValue || !ms) {
            return std::nullopt;
        }
        return FaultMode{FaultKind::kTrickle, 0, *ms};
    }
    if (name == "stream") {
        std::optional<int> count = NumberIn(value, 1, kMaxCount);
        if (!hasValue || !count) {
            return std::nullopt;
        }
        return FaultMode{FaultKind::kStream, *count, 0};
    }
    if (name == "close-after" || name == "corrupt" || name == "flip-store") {
        std::optional<int> count = NumberIn(value, 1, kMaxCount);
        if (!hasValue || !count) {
            return std::nullopt;
        }
        const FaultKind kind = name == "corrupt"      ? FaultKind::kCorrupt
                               : name == "flip-store" ? FaultKind::kFlipStore
                                                      : FaultKind::kCloseAfter;
        return FaultMode{kind, *count, 0};
    }
    return std::nullopt;
}

bool ParseLoss(std::string_view text, LinkModel& model) {
    const std::size_t colon = text.find(':');
    const std::string_view percent = text.substr(0, colon);
    double value = 0;
    const char* end = percent.data() + percent.size();
    auto [stop, error] = std::from_chars(percent.data(), end, value);
    if (percent.empty() || error != std::errc() || stop != end || !(value >= 0 && value <= 100)) {
        return false;
    }
    unsigned seed = 1;
    if (colon != std::string_view::npos) {
        const std::string_view seedText = text.substr(colon + 1);
        const char* seedEnd = seedText.data() + seedText.size();
        auto [seedStop, seedError] = std::from_chars(seedText.data(), seedEnd, seed);
        if (seedText.empty() || seedError != std::errc() || seedStop != seedEnd) {
            return false;
        }
    }
    model.lossPercent = value;
    model.lossSeed = seed;
    return true;
}

}  // namespace kelvarin::device
