#pragma once

// How good a view's frames are while its scene changes. Private to the renderer.

#include <array>
#include <cstddef>
#include <optional>

namespace vantrel::detail {

/// What one frame is drawn with.
struct FrameQuality {
    double scale = 1.0;    ///< Of the picture's width and height; the window shows it scaled up.
    bool reduced = false;  ///< One sample per pixel and a coarser mirror image under floors.

    friend bool operator==(const FrameQuality&, const FrameQuality&) = default;
};

/// Chooses the quality of a view's frames: full while the scene is still, reduced while it changes
/// (the user drags, orbits, an animation runs) when full frames take longer than the target frame
/// time. Then frames are drawn at one of the scales 1, 0.79, 0.62 and 0.5 (half, then a third of the
/// pixels fewer each step), without multisampling and with a coarser floor mirror. The first reduced
/// frames start at the scale the full frame's time predicts (a reduced frame takes about 60 % of a
/// full one, and its time goes with its pixels); from then on the scale steps down while the last
/// frames took longer than the target, as far as their time says it must, and up one step while they
/// took under 60 % of it, so that one step up stays under the target. Once the scene has been still
/// for the settling time (0.3 s) one full-quality frame is due.
///
/// Times are in seconds on the caller's clock; frame times in milliseconds. No clock is read here.
class AdaptiveQuality {
public:
    static constexpr std::array<double, 4> kScales{1.0, 0.79, 0.62, 0.5};
    static constexpr std::size_t kWindow = 2;      ///< Frames whose mean decides a step.
    static constexpr double kStepUpShare = 0.6;    ///< Step up below this share of the target.
    static constexpr double kSettleSeconds = 0.3;  ///< Stillness before the full-quality frame.
    static constexpr double kReducedShare = 0.6;   ///< A reduced frame's time at scale 1 over a full one's.

    /// False: every frame is full quality.
    void setEnabled(bool enabled) noexcept { enabled_ = enabled; }
    [[nodiscard]] bool enabled() const noexcept { return enabled_; }
    /// The frame time aimed at while the scene changes (33 ms by default; values ≤ 0 count as 33).
    void setTargetMilliseconds(double milliseconds) noexcept;
    [[nodiscard]] double targetMilliseconds() const noexcept { return targetMs_; }

    /// The scene changed at `now` (or something in it moves).
    void changed(double now) noexcept { lastChange_ = now; }
    /// The quality of a frame drawn at `now`.
    [[nodiscard]] FrameQuality next(double now) const noexcept;
    /// A frame drawn with `quality` took `milliseconds`.
    void drawn(const FrameQuality& quality, double milliseconds) noexcept;
    /// True when the last frame was reduced and the scene has been still since `now` − 0.3 s.
    [[nodiscard]] bool fullFrameDue(double now) const noexcept;
    /// True when the last frame drawn was reduced.
    [[nodiscard]] bool lastWasReduced() const noexcept { return lastReduced_; }

private:
    // The largest scale at which a frame that takes `milliseconds` at `scale` would keep to the target.
    [[nodiscard]] std::size_t levelFitting(double milliseconds, double scale) const noexcept;

    bool enabled_ = true;
    double targetMs_ = 33.0;
    std::optional<double> lastChange_;
    std::optional<double> lastFullMs_;  // the last full-quality frame: cheap enough needs no reducing
    std::size_t level_ = 0;             // index into kScales
    std::array<double, kWindow> recent_{};
    std::size_t recentCount_ = 0;
    bool lastReduced_ = false;
    bool reducedMeasured_ = false;  // once reduced frames were timed, they decide the scale
};

}  // namespace vantrel::detail
