#include "PointerInput.hpp"

#include <cmath>

namespace viewer {

using vantrel::CGPoint;
using vantrel::UITouch;
using vantrel::UITouchPhase;

namespace {
// Two fingers of an orbit drag rest this far either side of the pointer.
constexpr double kFingerSpread = 24.0;
// One wheel step spreads a pinch's fingers by this factor.
constexpr double kPinchPerStep = 1.1;
constexpr double kPinchStart = 60.0;
}  // namespace

PointerInput::PointerInput(vantrel::UITouchDispatcher& touches) : touches_(touches) {}

std::vector<UITouch> PointerInput::fingers(CGPoint at, UITouchPhase phase) const {
    if (pressedButton_ == 1)
        return {UITouch{firstFinger_, CGPoint(at.x - kFingerSpread, at.y), phase},
                UITouch{firstFinger_ + 1, CGPoint(at.x + kFingerSpread, at.y), phase}};
    return {UITouch{firstFinger_, at, phase}};
}

void PointerInput::button(int button, bool pressed, CGPoint at) {
    if (pressed) {
        if (pressedButton_ >= 0 || button > 1) return;  // one gesture at a time
        pressedButton_ = button;
        firstFinger_ = nextIdentifier_;
        nextIdentifier_ += 2;
        touches_.touchesBegan(fingers(at, UITouchPhase::began));
        return;
    }
    if (button != pressedButton_) return;
    touches_.touchesEnded(fingers(at, UITouchPhase::ended));
    pressedButton_ = -1;
}

void PointerInput::moved(CGPoint at) {
    if (pressedButton_ < 0) return;
    touches_.touchesMoved(fingers(at, UITouchPhase::moved));
}

void PointerInput::wheel(double steps, CGPoint at) {
    if (pressedButton_ >= 0 || steps == 0.0) return;
    // A pinch in three frames: two fingers down, spread (or closed) by the wheel, lifted.
    const std::uint64_t a = nextIdentifier_++;
    const std::uint64_t b = nextIdentifier_++;
    const double spread = kPinchStart * std::pow(kPinchPerStep, steps);
    const auto pair = [&](double half, UITouchPhase phase) {
        return std::vector<UITouch>{UITouch{a, CGPoint(at.x - half, at.y), phase},
                                    UITouch{b, CGPoint(at.x + half, at.y), phase}};
    };
    touches_.touchesBegan(pair(kPinchStart, UITouchPhase::began));
    touches_.touchesMoved(pair((kPinchStart + spread) / 2, UITouchPhase::moved));
    touches_.touchesMoved(pair(spread, UITouchPhase::moved));
    touches_.touchesEnded(pair(spread, UITouchPhase::ended));
}

}  // namespace viewer
