#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// How an animation's progress follows its elapsed time: a cubic Bézier curve from (0, 0) to (1, 1)
/// through two control points, as the platform's animation curves are defined.
class SCNTimingFunction {
public:
    /// Progress proportional to time.
    [[nodiscard]] static SCNTimingFunction linear();
    /// Starts slowly, then speeds up.
    [[nodiscard]] static SCNTimingFunction easeIn();
    /// Starts quickly, then slows down.
    [[nodiscard]] static SCNTimingFunction easeOut();
    /// Starts slowly, speeds up, then slows down again.
    [[nodiscard]] static SCNTimingFunction easeInEaseOut();
    /// A curve with the control points (x1, y1) and (x2, y2); the x coordinates are clamped to 0…1 so
    /// that the curve stays a function of time.
    [[nodiscard]] static SCNTimingFunction controlPoints(double x1, double y1, double x2, double y2);

    /// Progress at `fraction` of the duration; fractions are clamped to 0…1, and 0 maps to 0 and 1 to 1.
    [[nodiscard]] double progress(double fraction) const;

    /// True for the straight line, which needs no curve evaluation.
    [[nodiscard]] bool isLinear() const noexcept { return linear_; }

private:
    SCNTimingFunction(double x1, double y1, double x2, double y2, bool isLinear);

    double x1_ = 0.0;
    double y1_ = 0.0;
    double x2_ = 1.0;
    double y2_ = 1.0;
    bool linear_ = true;
};

}  // namespace vantrel

#pragma GCC visibility pop
