#include "render/AdaptiveQuality.hpp"

#include <algorithm>
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
        // Until reduced frames are timed, the full one predicts them: starting at full size and
        // stepping down two frames at a time would make the first frames of the first gesture the
        // slowest of all.
        if (!reducedMeasured_) level_ = levelFitting(milliseconds * kReducedShare, 1.0);
        return;
    }
    reducedMeasured_ = true;
    recent_[recentCount_++] = milliseconds;
    if (recentCount_ < kWindow) {
        return;
    }
    const double mean = std::accumulate(recent_.begin(), recent_.end(), 0.0) / static_cast<double>(kWindow);
    if (mean > targetMs_) {
        level_ = std::max(levelFitting(mean, quality.scale), std::min(level_ + 1, kScales.size() - 1));
    } else if (mean < targetMs_ * kStepUpShare && level_ > 0) {
        --level_;
    }
    recentCount_ = 0;
}

std::size_t AdaptiveQuality::levelFitting(double milliseconds, double scale) const noexcept {
    for (std::size_t level = 0; level < kScales.size(); ++level) {
        const double share = kScales[level] / scale;
        if (milliseconds * share * share <= targetMs_) return level;
    }
    return kScales.size() - 1;
}

bool AdaptiveQuality::fullFrameDue(double now) const noexcept {
    return lastReduced_ && (!enabled_ || !lastChange_ || now - *lastChange_ >= kSettleSeconds);
}

}  // namespace vantrel::detail
