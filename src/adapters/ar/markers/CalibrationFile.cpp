// Camera calibration files in OpenCV's format, read and written.

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include <opencv2/core.hpp>

#include "adapters/ar/markers/MarkerBoards.hpp"
#include "vantrel/adapters/ARCameraCalibration.hpp"

namespace vantrel {
namespace {

Error malformed(const std::filesystem::path& path, const std::string& why) {
    return detail::arError(ARSessionErrorCode::fileMalformed, "calibration file " + path.string() + ": " + why);
}

bool allFinite(const cv::Mat& m) {
    for (int r = 0; r < m.rows; ++r) {
        for (int c = 0; c < m.cols; ++c) {
            if (!std::isfinite(m.at<double>(r, c))) return false;
        }
    }
    return true;
}

// A matrix node as doubles; empty when the node is absent.
cv::Mat doublesOf(const cv::FileNode& node) {
    cv::Mat m;
    if (node.empty()) return m;
    node >> m;
    if (m.empty() || m.channels() != 1) return cv::Mat(1, 1, CV_64F, cv::Scalar(std::nan("")));
    cv::Mat out;
    m.convertTo(out, CV_64F);
    return out;
}

Expected<ARCameraCalibration> parse(const cv::FileStorage& storage, const std::filesystem::path& path) {
    ARCameraCalibration calibration;
    const cv::Mat k = doublesOf(storage["camera_matrix"]);
    if (k.empty()) return malformed(path, "no camera_matrix");
    if (k.rows != 3 || k.cols != 3) return malformed(path, "camera_matrix is not 3×3");
    if (!allFinite(k)) return malformed(path, "camera_matrix holds numbers that are not finite");
    const double fx = k.at<double>(0, 0);
    const double fy = k.at<double>(1, 1);
    if (!(fx > 0.0) || !(fy > 0.0) || k.at<double>(1, 0) != 0.0 || k.at<double>(2, 0) != 0.0 ||
        k.at<double>(2, 1) != 0.0 || std::abs(k.at<double>(2, 2) - 1.0) > 1e-9) {
        return malformed(path, "camera_matrix is not a pinhole camera");
    }
    calibration.intrinsics = glm::mat3(1.0f);
    calibration.intrinsics[0][0] = static_cast<float>(fx);
    calibration.intrinsics[1][1] = static_cast<float>(fy);
    calibration.intrinsics[2][0] = static_cast<float>(k.at<double>(0, 2));
    calibration.intrinsics[2][1] = static_cast<float>(k.at<double>(1, 2));

    const cv::Mat d = doublesOf(storage["distortion_coefficients"]);
    if (!d.empty()) {
        const int count = d.rows * d.cols;
        constexpr std::array<int, 5> sizes{4, 5, 8, 12, 14};
        if ((d.rows != 1 && d.cols != 1) || std::find(sizes.begin(), sizes.end(), count) == sizes.end()) {
            return malformed(path, "distortion_coefficients is not 4, 5, 8, 12 or 14 numbers");
        }
        if (!allFinite(d)) return malformed(path, "distortion_coefficients holds numbers that are not finite");
        calibration.distortion.assign(d.begin<double>(), d.end<double>());
    }

    const cv::FileNode width = storage["image_width"];
    const cv::FileNode height = storage["image_height"];
    if (!width.empty() || !height.empty()) {
        if (!width.isInt() || !height.isInt() || static_cast<int>(width) <= 0 || static_cast<int>(height) <= 0) {
            return malformed(path, "image_width and image_height are not a picture size");
        }
        calibration.imageSize = CGSize(static_cast<int>(width), static_cast<int>(height));
    }
    if (const cv::FileNode error = storage["avg_reprojection_error"]; error.isReal()) {
        calibration.reprojectionError = static_cast<double>(error);
    }
    return calibration;
}

}  // namespace

Expected<ARCameraCalibration> ARCameraCalibration::read(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return detail::arError(ARSessionErrorCode::fileUnreadable, "no calibration file " + path.string());
    }
    // OpenCV's parsers throw on text they cannot read.
    try {
        const cv::FileStorage storage(path.string(), cv::FileStorage::READ);
        if (!storage.isOpened()) return malformed(path, "not a YAML, XML or JSON file");
        return parse(storage, path);
    } catch (const cv::Exception& e) {
        return malformed(path, e.what());
    }
}

std::optional<Error> ARCameraCalibration::write(const std::filesystem::path& path) const {
    try {
        cv::FileStorage storage(path.string(), cv::FileStorage::WRITE | cv::FileStorage::FORMAT_YAML);
        if (!storage.isOpened()) {
            return detail::arError(ARSessionErrorCode::fileUnwritable, "cannot write " + path.string());
        }
        const std::time_t now = std::time(nullptr);
        char when[64] = {};
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
        storage << "calibration_time" << when;
        storage << "image_width" << static_cast<int>(std::lround(imageSize.width));
        storage << "image_height" << static_cast<int>(std::lround(imageSize.height));
        const cv::Matx33d k(intrinsics[0][0], 0.0, intrinsics[2][0], 0.0, intrinsics[1][1], intrinsics[2][1], 0.0, 0.0,
                            1.0);
        storage << "camera_matrix" << cv::Mat(k);
        storage << "distortion_coefficients" << cv::Mat(distortion, true).reshape(1, 1);
        storage << "avg_reprojection_error" << reprojectionError;
        storage.release();
    } catch (const cv::Exception& e) {
        return detail::arError(ARSessionErrorCode::fileUnwritable, "cannot write " + path.string() + ": " + e.what());
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return detail::arError(ARSessionErrorCode::fileUnwritable, "cannot write " + path.string());
    }
    return std::nullopt;
}

Expected<ARMarkerSession::Options> ARMarkerSession::Options::fromCalibrationFile(const std::filesystem::path& path) {
    auto calibration = ARCameraCalibration::read(path);
    if (!calibration) return calibration.error();
    Options options;
    options.intrinsics = calibration->intrinsics;
    options.distortion = calibration->distortion;
    if (calibration->imageSize.width > 0) options.calibrationSize = calibration->imageSize;
    return options;
}

}  // namespace vantrel
