// A camera's calibration from pictures of a ChArUco board.

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "adapters/ar/markers/MarkerBoards.hpp"
#include "vantrel/adapters/ARCameraCalibration.hpp"

namespace vantrel {
namespace {

// Fewer corners than this in a picture say little about the lens, and four points fit any camera.
constexpr int kFewestCorners = 6;
constexpr std::size_t kFewestPictures = 4;

}  // namespace

Expected<ARCameraCalibration> ARCameraCalibration::fromPictures(const ARMarkerBoard& board,
                                                                const std::vector<std::shared_ptr<UIImage>>& pictures) {
    if (board.kind != ARMarkerBoardKind::charuco) {
        return detail::arError(ARSessionErrorCode::unsupportedConfiguration, "calibration needs a ChArUco board");
    }
    auto made = detail::makeBoard(board);
    if (!made) return made.error();
    const auto charuco = made->charuco;
    const auto parameters = cv::aruco::DetectorParameters::create();
    parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;

    std::vector<cv::Mat> allCorners;
    std::vector<cv::Mat> allIds;
    cv::Size size;
    for (const auto& picture : pictures) {
        if (picture == nullptr || picture->width() <= 0 || picture->rgba().empty()) continue;
        const cv::Size pictureSize(picture->width(), picture->height());
        if (size.empty()) size = pictureSize;
        if (pictureSize != size) continue;  // another camera mode: its corners would not fit the model
        const cv::Mat rgba(size, CV_8UC4, const_cast<std::uint8_t*>(picture->rgba().data()));
        cv::Mat grey;
        cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
        std::vector<std::vector<cv::Point2f>> corners;
        std::vector<std::vector<cv::Point2f>> rejected;
        std::vector<int> ids;
        cv::aruco::detectMarkers(grey, charuco->dictionary, corners, ids, parameters, rejected);
        if (ids.empty()) continue;
        cv::Mat chessCorners;
        cv::Mat chessIds;
        if (cv::aruco::interpolateCornersCharuco(corners, ids, grey, charuco, chessCorners, chessIds) <
            kFewestCorners) {
            continue;
        }
        allCorners.push_back(chessCorners);
        allIds.push_back(chessIds);
    }
    if (allCorners.size() < kFewestPictures) {
        return detail::arError(ARSessionErrorCode::calibrationFailed,
                               "the board showed in " + std::to_string(allCorners.size()) + " of " +
                                   std::to_string(pictures.size()) + " pictures, calibration needs " +
                                   std::to_string(kFewestPictures));
    }
    cv::Mat k;
    cv::Mat distortion;
    double error = 0.0;
    try {
        error = cv::aruco::calibrateCameraCharuco(allCorners, allIds, charuco, size, k, distortion);
    } catch (const cv::Exception& e) {
        return detail::arError(ARSessionErrorCode::calibrationFailed, std::string("calibration failed: ") + e.what());
    }
    ARCameraCalibration calibration;
    calibration.intrinsics = glm::mat3(1.0f);
    calibration.intrinsics[0][0] = static_cast<float>(k.at<double>(0, 0));
    calibration.intrinsics[1][1] = static_cast<float>(k.at<double>(1, 1));
    calibration.intrinsics[2][0] = static_cast<float>(k.at<double>(0, 2));
    calibration.intrinsics[2][1] = static_cast<float>(k.at<double>(1, 2));
    calibration.distortion.assign(distortion.begin<double>(), distortion.end<double>());
    calibration.imageSize = CGSize(size.width, size.height);
    calibration.reprojectionError = error;
    calibration.picturesUsed = allCorners.size();
    return calibration;
}

}  // namespace vantrel
