#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glm/mat3x3.hpp>

#include "vantrel/adapters/ARSession.hpp"
#include "vantrel/graph/CGSize.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// A printed grid of square markers (an ArUco grid board) that a marker session tracks.
///
/// In the world of a marker session the board lies flat on the floor: its centre is the origin, the
/// world's Y axis stands up out of the board, the board's first marker row (the top of `image`)
/// lies towards −Z and the picture's right towards +X. Lengths are in metres.
struct ARMarkerBoard {
    int markersX = 4;                ///< Markers across.
    int markersY = 3;                ///< Markers down.
    float markerLength = 0.08f;      ///< Side of one marker.
    float markerSeparation = 0.02f;  ///< Gap between neighbouring markers.
    int dictionary = 0;              ///< OpenCV predefined dictionary number (0: 4×4 bits, 50 markers).

    /// Width (along X) and depth (along Z) of the marker grid.
    [[nodiscard]] CGSize size() const noexcept;
    /// The board's picture with a white margin of `margin` metres around the grid, at
    /// `pixelsPerMetre` (opaque RGBA; what a host prints or a test draws on a plane).
    [[nodiscard]] std::shared_ptr<UIImage> image(double pixelsPerMetre, double margin = 0.02) const;
};

/// A live session that tracks the camera from a marker board seen in its frames: the frames come
/// from a video file or a camera (`openVideo`, `openCamera`, then `advance` per frame) or are fed
/// in (`processImage`).
///
/// For each frame it finds the board's markers (sub-pixel corners) and solves the camera's pose
/// against them: tracking is normal with two markers or more, limited with one, not available with
/// none (the camera then keeps its last pose). The first time the board is found it adds a
/// horizontal `ARPlaneAnchor` at the board (the world origin, extent the board's size). The found
/// markers' corners are the frame's feature points. The light estimate follows the frame's mean
/// brightness: ambient intensity 2000 × brightness (0…1), so a mid-grey picture reads as neutral.
///
/// The camera model is the given intrinsics, or an ideal camera of `verticalFieldOfView` for the
/// frames' size; `distortion` holds OpenCV's distortion coefficients (none by default).
/// **Threads.** Drive the session from one thread; observers are called there.
class ARMarkerSession final : public ARSession {
public:
    /// How the session sees.
    struct Options {
        ARMarkerBoard board;
        std::optional<glm::mat3> intrinsics;  ///< Column-major pinhole model (see ARCamera).
        double verticalFieldOfView = 60.0;    ///< Degrees, used when there are no intrinsics.
        std::vector<double> distortion;       ///< OpenCV order: k1, k2, p1, p2[, k3...].
    };

    explicit ARMarkerSession(Options options);
    ~ARMarkerSession() override;

    /// Reads frames from a video file from now on; an ARSession error (sensor unavailable) when it
    /// cannot be opened.
    [[nodiscard]] std::optional<Error> openVideo(const std::filesystem::path& path);
    /// Reads frames from camera number `index` from now on; an error as for `openVideo`.
    [[nodiscard]] std::optional<Error> openCamera(int index = 0);
    /// Reads and processes the next frame of the video or camera; false when not running, without
    /// a source or at the end of a video. A camera that stops delivering fails the session.
    bool advance();
    /// Processes one picture taken at `timestamp` seconds (nothing while not running).
    void processImage(const std::shared_ptr<UIImage>& image, double timestamp);

    /// The options in use.
    [[nodiscard]] const Options& options() const noexcept;

private:
    void didRun(ARSessionRunOptions options) override;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel
