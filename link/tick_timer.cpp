// The tick counter behind CTickTimer.
#include "tick_timer.h"

#include <chrono>

namespace kelvarin {

std::uint32_t CTickTimer::Now() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace kelvarin
