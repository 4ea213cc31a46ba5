#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glm/mat3x3.hpp>

#include "vantrel/adapters/ARSession.hpp"
#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/CGSize.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// The layouts of printed marker boards.
enum class ARMarkerBoardKind {
    grid,     ///< An ArUco grid board: markers in rows and columns with gaps between them.
    charuco,  ///< A ChArUco board: a chessboard whose white squares hold markers; the chessboard's
              ///< corners, found between the markers, give a steadier pose than the markers alone.
};

/// A printed marker board that a marker session tracks: a grid of square markers (an ArUco grid
/// board) or a chessboard with markers in its white squares (a ChArUco board).
///
/// In the world of a marker session the board lies flat on the floor: its centre is the origin, the
/// world's Y axis stands up out of the board, the board's first marker row (the top of `image`)
/// lies towards −Z and the picture's right towards +X. Lengths are in metres.
///
/// The markers come from one of OpenCV's predefined dictionaries (`dictionary`) or from a
/// dictionary file (`dictionaryFile`), the YAML OpenCV writes: `nmarkers`, `markersize` (bits per
/// side) and `marker_0`, `marker_1`, … as strings of `markersize`² zeros and ones, row by row;
/// `maxCorrectionBits` is optional (by default half the dictionary's smallest distance between two
/// markers, as OpenCV's predefined dictionaries have).
struct ARMarkerBoard {
    ARMarkerBoardKind kind = ARMarkerBoardKind::grid;
    int markersX = 4;                ///< Markers across (ChArUco: chessboard squares across).
    int markersY = 3;                ///< Markers down (ChArUco: chessboard squares down).
    float markerLength = 0.08f;      ///< Side of one marker.
    float markerSeparation = 0.02f;  ///< Gap between neighbouring markers (grid boards).
    float squareLength = 0.1f;       ///< Side of one chessboard square (ChArUco boards).
    int dictionary = 0;              ///< OpenCV predefined dictionary number (0: 4×4 bits, 50 markers).
    /// A dictionary file that, when set, replaces `dictionary`.
    std::filesystem::path dictionaryFile;

    /// Width (along X) and depth (along Z) of the marker grid (ChArUco: of the chessboard).
    [[nodiscard]] CGSize size() const noexcept;
    /// The board's picture with a white margin of `margin` metres around the grid, at
    /// `pixelsPerMetre` (opaque RGBA; what a host prints or a test draws on a plane); nullptr when
    /// the board cannot be made (see `check`) or the picture would be too large.
    [[nodiscard]] std::shared_ptr<UIImage> image(double pixelsPerMetre, double margin = 0.02) const;
    /// Why this board cannot be tracked, if it cannot: an ARSession error when the dictionary file
    /// is missing (file unreadable) or malformed, or the dictionary has too few markers for the
    /// board or the sizes make no board (file malformed, unsupported configuration).
    [[nodiscard]] std::optional<Error> check() const;
};

/// A live session that tracks the camera from a marker board seen in its frames: the frames come
/// from a video file or a camera (`openVideo`, `openCamera`, then `advance` per frame) or are fed
/// in (`processImage`).
///
/// For each frame it finds the board's markers (sub-pixel corners) and solves the camera's pose
/// against them: tracking is normal with two markers or more, limited with one or while the board
/// is out of sight (below). The first time the board is found it adds a horizontal `ARPlaneAnchor`
/// at the board (the world origin, extent the board's size). The found markers' corners (ChArUco:
/// chessboard corners) are the frame's feature points. A board that cannot be made (see
/// `ARMarkerBoard::check`) fails the session when it runs. The light estimate follows the frame's mean
/// brightness: ambient intensity 2000 × brightness (0…1), so a mid-grey picture reads as neutral.
///
/// A ChArUco board's pose comes from the chessboard corners found between its markers (at least
/// four); tracking is normal with two markers or more in sight, as for a grid board.
///
/// Between frames the pose is smoothed (`smoothPose`): a still camera's pose does not tremble with
/// the picture's noise, while a moving one follows without lag (the smoothing loosens with speed and
/// lets go entirely on a jump). Frames without the board keep the last pose: tracking is limited for
/// `limitedFrames` frames, then not available.
///
/// The camera model is the given intrinsics, or an ideal camera of `verticalFieldOfView` for the
/// frames' size; `distortion` holds OpenCV's distortion coefficients (none by default). Intrinsics
/// that belong to another picture size (`calibrationSize`) are scaled to the frames'.
///
/// The session is supported (`isSupported`) over a video that opened, over a camera that opened,
/// and, before a source is opened (pictures fed by the host), when the machine has a camera.
/// **Threads.** Drive the session from one thread; observers are called there.
class ARMarkerSession final : public ARSession {
public:
    /// How the session sees.
    struct Options {
        ARMarkerBoard board;
        std::optional<glm::mat3> intrinsics;  ///< Column-major pinhole model (see ARCamera).
        double verticalFieldOfView = 60.0;    ///< Degrees, used when there are no intrinsics.
        std::vector<double> distortion;       ///< OpenCV order: k1, k2, p1, p2[, k3...].
        /// The picture size the intrinsics were measured at; frames of another size scale them.
        std::optional<CGSize> calibrationSize;
        bool smoothPose = true;  ///< Smooth the pose between frames (see the class).
        int limitedFrames = 5;   ///< Frames without the board that keep limited tracking.
        /// Whether the machine has a camera; by default whether a video device (/dev/video*) exists.
        std::function<bool()> hasCamera;

        /// Options with the camera model of an OpenCV calibration file (YAML or XML with
        /// `camera_matrix` 3×3, optional `distortion_coefficients` of 4, 5, 8, 12 or 14 numbers
        /// and optional `image_width` and `image_height`); the board and the rest stay default.
        /// An ARSession error when the file is missing (file unreadable) or cannot be used (file
        /// malformed: not such a file, wrong sizes, numbers that are not finite or not a camera).
        [[nodiscard]] static Expected<Options> fromCalibrationFile(const std::filesystem::path& path);
    };

    explicit ARMarkerSession(Options options);
    ~ARMarkerSession() override;

    /// See the class: false when the camera cannot be opened or the machine has none.
    [[nodiscard]] bool isSupported() const override;

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

#pragma GCC visibility pop
