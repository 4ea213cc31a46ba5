#include "vantrel/graph/DelayedCall.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "vantrel/core/DispatchQueue.hpp"

namespace vantrel {

void runOnMainAfter(double delaySeconds, std::function<void()> block) {
    // The queue counts in nanoseconds: keep the delay finite and within that range.
    constexpr double kLongestDelaySeconds = 1e9;
    const double seconds = std::isnan(delaySeconds) ? 0.0 : std::clamp(delaySeconds, 0.0, kLongestDelaySeconds);
    const auto delay = std::chrono::duration_cast<DispatchQueue::Duration>(std::chrono::duration<double>(seconds));
    DispatchQueue::main().asyncAfter(delay, std::move(block));
}

}  // namespace vantrel
