#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <glm/mat3x3.hpp>

#include "vantrel/adapters/ARMarkerSession.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/CGSize.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// A camera's calibration: its pinhole model, lens distortion and the picture size they belong to,
/// as a marker session uses them (`ARMarkerSession::Options::fromCalibrationFile`).
///
/// `fromPictures` computes one from pictures of a printed ChArUco board taken from different
/// angles (10 to 30, the board filling a good part of each, some of them tilted): how a host
/// calibrates a new webcam. `write` stores it in OpenCV's calibration format (YAML), which `read`
/// and the marker session read back.
struct ARCameraCalibration {
    glm::mat3 intrinsics{1.0f};      ///< Column-major pinhole model (see ARCamera).
    std::vector<double> distortion;  ///< OpenCV order: k1, k2, p1, p2, k3.
    CGSize imageSize;                ///< The pictures' size.
    double reprojectionError = 0.0;  ///< Root mean square distance, pixels, of the corners found.
    std::size_t picturesUsed = 0;    ///< Pictures in which enough of the board was found.

    /// The calibration from pictures of `board` (a ChArUco board; all pictures of one size). An
    /// ARSession error when the board is not a usable ChArUco board (unsupported configuration), or
    /// fewer than four pictures show at least six of its corners (calibration failed).
    [[nodiscard]] static Expected<ARCameraCalibration> fromPictures(
        const ARMarkerBoard& board, const std::vector<std::shared_ptr<UIImage>>& pictures);
    /// Reads a calibration file as `ARMarkerSession::Options::fromCalibrationFile` does (the size
    /// is zero when the file does not give it; the reprojection error when it does).
    [[nodiscard]] static Expected<ARCameraCalibration> read(const std::filesystem::path& path);
    /// Writes the calibration file (`image_width`, `image_height`, `camera_matrix`,
    /// `distortion_coefficients`, `avg_reprojection_error`); an ARSession error (file unwritable)
    /// when it cannot.
    [[nodiscard]] std::optional<Error> write(const std::filesystem::path& path) const;
};

}  // namespace vantrel

#pragma GCC visibility pop
