#pragma once

// OpenCV's side of the marker boards: the board objects, the dictionary files, and where the board
// lies in a marker session's world. Only the marker sources include this (they see OpenCV's headers).

#include <filesystem>
#include <string>

#include <glm/mat4x4.hpp>
#include <opencv2/aruco.hpp>
#include <opencv2/aruco/charuco.hpp>

#include "vantrel/adapters/ARMarkerSession.hpp"
#include "vantrel/core/Expected.hpp"

namespace vantrel::detail {

/// An error of the AR sessions' domain.
[[nodiscard]] Error arError(ARSessionErrorCode code, std::string message);

/// The dictionary of a dictionary file (see ARMarkerBoard); file unreadable or file malformed.
[[nodiscard]] Expected<cv::Ptr<cv::aruco::Dictionary>> readDictionaryFile(const std::filesystem::path& path);

/// OpenCV's board for an ARMarkerBoard (its classes have no virtual functions, so the ChArUco one
/// is kept as such beside its markers' view).
struct MarkerBoard {
    cv::Ptr<cv::aruco::Board> markers;         ///< The markers (a grid or the ChArUco board's).
    cv::Ptr<cv::aruco::CharucoBoard> charuco;  ///< The same board for ChArUco, else null.
};

/// OpenCV's board for `board`.
[[nodiscard]] Expected<MarkerBoard> makeBoard(const ARMarkerBoard& board);

/// World from board: the board's plane becomes the floor with its centre at the origin (see
/// ARMarkerBoard), whichever way the library orders the board's own axes.
[[nodiscard]] glm::dmat4 worldFromBoard(const MarkerBoard& board);

}  // namespace vantrel::detail
