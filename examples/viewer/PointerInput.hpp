#pragma once

// Mouse and touchpad input as the touches a phone would send, fed to a view's gesture layer:
//
//   left button drag   one finger   moves the selected model, or pans the camera when none is selected
//   right button drag  two fingers  orbits the camera
//   wheel / touchpad   a pinch      zooms
//   click, double click, holding the left button still: tap, double tap, long press
//
// The same object serves the window's callbacks and scripted input, so a script exercises exactly
// the path a user's hand does.

#include <vantrel/vantrel.hpp>

#include <cstdint>
#include <vector>

namespace viewer {

class PointerInput {
public:
    explicit PointerInput(vantrel::UITouchDispatcher& touches);

    /// A button went down or up at `at` (view points). Button 0 is the left, 1 the right.
    void button(int button, bool pressed, vantrel::CGPoint at);
    /// The pointer moved to `at`.
    void moved(vantrel::CGPoint at);
    /// One wheel step (positive: away from the user, zooms in) at `at`.
    void wheel(double steps, vantrel::CGPoint at);

private:
    std::vector<vantrel::UITouch> fingers(vantrel::CGPoint at, vantrel::UITouchPhase phase) const;

    vantrel::UITouchDispatcher& touches_;
    int pressedButton_ = -1;
    std::uint64_t nextIdentifier_ = 1;
    std::uint64_t firstFinger_ = 0;
};

}  // namespace viewer
