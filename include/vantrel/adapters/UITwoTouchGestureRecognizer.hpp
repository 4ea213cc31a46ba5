#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/adapters/UIGestureRecognizer.hpp"

namespace vantrel {

/// Base of the gestures made of two fingers (pinch, rotation).
///
/// It follows the first two fingers down and ignores any others. Once the second finger is down it
/// asks the subclass to start measuring (`pairFormed`); on each move of either finger it asks for the
/// new values (`pairMoved`), begins when those went past the subclass's hysteresis and changes on every
/// move after that. It ends when one of the two fingers lifts; if both lift before it began, it fails
/// (one lifting leaves it waiting for a second finger again). A transform gesture: it runs beside pan,
/// pinch and rotation recognizers by default.
class UITwoTouchGestureRecognizer : public UIGestureRecognizer {
public:
    using UIGestureRecognizer::UIGestureRecognizer;

protected:
    void touchesBegan(const std::vector<UITouch>& touches) final;
    void touchesMoved(const std::vector<UITouch>& touches) final;
    void touchesEnded(const std::vector<UITouch>& touches) final;
    [[nodiscard]] bool isTransformGesture() const noexcept override { return true; }

    /// The second finger went down: start measuring from the two fingers' places.
    virtual void pairFormed() = 0;
    /// One of the two fingers moved: update the values; returns true once the gesture went past its
    /// hysteresis (from then on it may keep returning true).
    virtual bool pairMoved() = 0;
    /// The line from the first finger to the second.
    [[nodiscard]] CGPoint pairLine() const noexcept;
};

}  // namespace vantrel

#pragma GCC visibility pop
