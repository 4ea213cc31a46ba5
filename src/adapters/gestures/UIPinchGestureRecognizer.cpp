#include "vantrel/adapters/UIPinchGestureRecognizer.hpp"

#include <cmath>

namespace vantrel {

namespace {
constexpr CGFloat kTinyDistance = 1e-6;
}

UIPinchGestureRecognizer::UIPinchGestureRecognizer(Action action) : UITwoTouchGestureRecognizer(std::move(action)) {}

void UIPinchGestureRecognizer::setScale(CGFloat scale) {
    if (!(scale > 0.0) || !std::isfinite(scale)) return;
    scale_ = scale;
    if (const auto d = pairLine().length(); d > kTinyDistance) referenceDistance_ = d / scale;
}

void UIPinchGestureRecognizer::pairFormed() {
    startDistance_ = pairLine().length();
    referenceDistance_ = startDistance_;
    scale_ = 1.0;
    velocity_ = 0.0;
    lastMoveTime_ = nowSeconds();
}

bool UIPinchGestureRecognizer::pairMoved() {
    const auto d = pairLine().length();
    // Fingers that went down on one spot have no reference yet: the first distance apart becomes it.
    if (referenceDistance_ <= kTinyDistance) referenceDistance_ = d / scale_;
    if (referenceDistance_ > kTinyDistance) {
        const auto scale = d / referenceDistance_;
        const auto now = nowSeconds();
        if (now > lastMoveTime_) velocity_ = (scale - scale_) / (now - lastMoveTime_);
        lastMoveTime_ = now;
        scale_ = scale;
    }
    return std::abs(d - startDistance_) > hysteresis;
}

void UIPinchGestureRecognizer::reset() {
    UITwoTouchGestureRecognizer::reset();
    startDistance_ = 0.0;
    referenceDistance_ = 0.0;
    scale_ = 1.0;
    velocity_ = 0.0;
    lastMoveTime_ = 0.0;
}

}  // namespace vantrel
