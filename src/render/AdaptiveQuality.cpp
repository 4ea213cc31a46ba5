#include "render/AdaptiveQuality.hpp"

#include <cmath>
#include <numeric>

namespace vantrel::detail {

void AdaptiveQuality::setTargetMilliseconds(double milliseconds) noexcept {
    targetMs_ = std::isfinite(milliseconds) && milliseconds > 0.0 ? milliseconds : 33.0;
}

FrameQuality AdaptiveQuality::next(double now) const noexcept {
    const bool changing = lastChange_ && now - *lastChange_ < kSettleSeconds;
    // A view whose full frames keep to the target has nothing to save; before the first full frame
    // nothing is known, and the first picture of a scene is a full one.
    const bool needed = lastFullMs_ && *lastFullMs_ > targetMs_;
    if (!enabled_ || !changing || !needed) {
        return {};
    }
    return {kScales[level_], true};
}

void AdaptiveQuality::drawn(const FrameQuality& quality, double milliseconds) noexcept {
    lastReduced_ = quality.reduced;
    if (!quality.reduced) {
        lastFullMs_ = milliseconds;
        return;
    }
    recent_[recentCount_++] = milliseconds;
    if (recentCount_ < kWindow) {
        return;
    }
    const double mean = std::accumulate(recent_.begin(), recent_.end(), 0.0) / static_cast<double>(kWindow);
    if (mean > targetMs_) {
        step(+1);
    } else if (mean < targetMs_ * kStepUpShare) {
        step(-1);
    }
    recentCount_ = 0;
}

void AdaptiveQuality::step(int direction) noexcept {
    if (direction > 0 && level_ + 1 < kScales.size()) {
        ++level_;
    } else if (direction < 0 && level_ > 0) {
        --level_;
    }
}

bool AdaptiveQuality::fullFrameDue(double now) const noexcept {
    return lastReduced_ && (!enabled_ || !lastChange_ || now - *lastChange_ >= kSettleSeconds);
}

}  // namespace vantrel::detail
