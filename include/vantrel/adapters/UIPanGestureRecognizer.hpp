#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>

#include "vantrel/adapters/UIGestureRecognizer.hpp"
#include "vantrel/graph/CGFloat.hpp"

namespace vantrel {

/// Recognizes dragging with one or more fingers and reports how far the touches' centroid moved.
///
/// The pan begins once the centroid has moved more than `hysteresis` points from where the fingers
/// went down while between `minimumNumberOfTouches` and `maximumNumberOfTouches` fingers are down;
/// then every move is a change, and it ends when fewer than the minimum remain (all lifted, for the
/// default minimum of 1).
///
/// `translationInView` is the centroid's movement since the touches went down (including the
/// hysteresis), or since the last `setTranslation`: a handler that resets it to zero after each change
/// reads increments. When a finger lands or lifts during the pan the centroid jumps; the translation
/// does not (it is rebased so that only movement counts).
///
/// Extra fingers: before the pan began, more than the maximum keeps it from beginning (it may still
/// begin once enough fingers lifted); once it began, fingers beyond the maximum are ignored — not
/// counted, not followed — and the gesture goes on with the fingers it has.
class UIPanGestureRecognizer : public UIGestureRecognizer {
public:
    /// How far (points) the centroid must move before the pan begins.
    static constexpr CGFloat hysteresis = 10.0;

    /// A pan recognizer calling `action` (when given).
    explicit UIPanGestureRecognizer(Action action = nullptr);

    /// The centroid's movement since the start or the last `setTranslation` (vectors are the same in
    /// every view coordinate system; `view` is accepted for symmetry and may be nullptr).
    [[nodiscard]] CGPoint translationInView(const SCNView* view) const;
    /// Makes the current translation read `translation` (zero for incremental handling).
    void setTranslation(CGPoint translation, const SCNView* view);
    /// The centroid's speed in points per second, from the last two moves.
    [[nodiscard]] CGPoint velocityInView(const SCNView* view) const;

    /// Fewest fingers that make a pan (1 by default, at least 1).
    [[nodiscard]] std::size_t minimumNumberOfTouches() const noexcept { return minimumTouches_; }
    /// Sets the fewest fingers; 0 counts as 1.
    void setMinimumNumberOfTouches(std::size_t count) noexcept;
    /// Most fingers that make a pan (unbounded by default).
    [[nodiscard]] std::size_t maximumNumberOfTouches() const noexcept { return maximumTouches_; }
    /// Sets the most fingers; 0 counts as 1.
    void setMaximumNumberOfTouches(std::size_t count) noexcept;

protected:
    void touchesBegan(const std::vector<UITouch>& touches) override;
    void touchesMoved(const std::vector<UITouch>& touches) override;
    void touchesEnded(const std::vector<UITouch>& touches) override;
    void reset() override;
    [[nodiscard]] bool isTransformGesture() const noexcept override { return true; }

private:
    void rebase(CGPoint before) noexcept;

    std::size_t minimumTouches_ = 1;
    std::size_t maximumTouches_ = static_cast<std::size_t>(-1);
    CGPoint origin_;       // centroid position that reads as translation zero
    CGPoint translation_;  // as of the last move or setTranslation
    CGPoint velocity_;
    CGPoint lastCentroid_;
    double lastMoveTime_ = 0.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
