#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vantrel/adapters/ARSession.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/Expected.hpp"

namespace vantrel {

/// A session that plays a recorded session back, frame by frame, exactly as recorded: the same
/// camera poses, intrinsics, pictures, light estimates, feature points and plane anchors every time.
/// For tests, demos and hosts without a camera.
///
/// A recording is a directory holding `session.json` and the frames' pictures (PNG or JPEG, paths
/// relative to the directory). `ARSessionRecorder` writes this format; `session.json` reads:
///
///     { "format": "vantrel-ar-session", "version": 1,
///       "frames": [ {
///         "timestamp": 0.0,                          seconds
///         "image": "frames/000000.jpg",              optional
///         "camera": { "transform": [16 numbers],     world from camera, column-major
///                     "intrinsics": [9 numbers],     column-major: fx, 0, 0, 0, fy, 0, cx, cy, 1
///                     "imageResolution": [w, h],
///                     "trackingState": "normal" | "limited" | "notAvailable" },
///         "lightEstimate": { "ambientIntensity": 1000, "ambientColorTemperature": 6500 },  optional
///         "featurePoints": [[x, y, z], ...],        optional
///         "addedAnchors": [anchor, ...], "updatedAnchors": [anchor, ...],                  optional
///         "removedAnchors": ["identifier", ...] } ] }                                       optional
///
/// where an anchor is { "identifier": text, "transform": [16 numbers], "plane": { "alignment":
/// "horizontal" | "vertical", "center": [x, y, z], "extent": [x, y, z] } } ("plane" absent for a
/// plain anchor). A frame's anchor changes are played just before the frame.
///
/// Recordings are untrusted input: `open` refuses a recording with any number that is not finite
/// or beyond its bounds (timestamps within ±10^12 seconds; coordinates of transforms, centres,
/// extents and feature points within ±10,000 metres; intrinsics within ±1,000,000 pixels with positive focal lengths; image sizes
/// whole numbers up to `UIImage::kMaxDimension`; light intensity 0…1,000,000 and colour temperature
/// 0…100,000; at most 65,536 feature points a frame), with frame times going backwards, or with a
/// picture that is not a whole PNG or JPEG of the camera's image resolution. Pictures stay in their
/// files and are decoded when their frame plays; one that no longer decodes then ends the replay
/// with a `fileMalformed` failure (never a blank frame), so a replay of any length holds the pixels
/// of about one frame.
///
/// Playback is driven by the host: `advance` plays the next frame; `update` plays every frame whose
/// time has come on the session's clock since the run (frame times counted from the first frame).
/// A run with `resetTracking` starts again from the first frame; a run without it goes on where a
/// pause stopped. Nothing plays while the session is not running.
class ARReplaySession final : public ARSession {
public:
    /// Reads the recording in `directory`; an ARSession error (file unreadable or malformed)
    /// otherwise. `clock` drives `update` (the process clock when nullptr).
    [[nodiscard]] static Expected<std::shared_ptr<ARReplaySession>> open(const std::filesystem::path& directory,
                                                                         std::shared_ptr<Clock> clock = nullptr);

    /// Number of recorded frames.
    [[nodiscard]] std::size_t frameCount() const noexcept { return frames_.size(); }
    /// Index of the frame the next `advance` plays (`frameCount()` at the end).
    [[nodiscard]] std::size_t nextFrameIndex() const noexcept { return next_; }
    /// Plays the next frame; false when not running, at the end, or when the frame's picture does
    /// not decode (the session then fails: observers hear `sessionDidFailWithError`).
    bool advance();
    /// Plays every frame that is due on the clock; returns how many were played.
    std::size_t update();

    /// A recording's parts, as read (public so that the recorder and tests share the format).
    struct Step {
        std::shared_ptr<ARFrame> frame;  ///< Without anchors and picture; the session supplies them.
        std::filesystem::path image;     ///< The picture's file, decoded when the frame plays; empty for none.
        std::vector<std::shared_ptr<ARAnchor>> added;
        std::vector<std::shared_ptr<ARAnchor>> updated;
        std::vector<std::string> removed;
    };

    /// Use `open`.
    ARReplaySession(std::vector<Step> steps, std::shared_ptr<Clock> clock);

private:
    void didRun(ARSessionRunOptions options) override;
    void didPause() override;
    [[nodiscard]] double elapsedSeconds() const;
    [[nodiscard]] static Expected<std::shared_ptr<UIImage>> picture(const Step& step);

    std::vector<Step> frames_;
    std::shared_ptr<Clock> clock_;
    std::size_t next_ = 0;
    Clock::TimePoint runStart_{};
};

}  // namespace vantrel

#pragma GCC visibility pop
