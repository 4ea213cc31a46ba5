#include "vantrel/adapters/ARMarkerSession.hpp"

#include <algorithm>
#include <cmath>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <glm/glm.hpp>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "adapters/ar/ImageCompositing.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel {
namespace {

cv::Ptr<cv::aruco::GridBoard> gridBoard(const ARMarkerBoard& board) {
    const auto dictionary = cv::aruco::getPredefinedDictionary(std::clamp(board.dictionary, 0, 20));
    return cv::aruco::GridBoard::create(std::max(1, board.markersX), std::max(1, board.markersY), board.markerLength,
                                        board.markerSeparation, dictionary);
}

// World from board: the board's plane becomes the floor (see ARMarkerBoard), whichever way the
// library orders the board's own axes; read them from its first marker (corners from top-left,
// clockwise in the picture).
glm::dmat4 worldFromBoard(const cv::aruco::Board& board) {
    const auto& first = board.objPoints.front();
    const auto vec = [](const cv::Point3f& p) { return glm::dvec3(p.x, p.y, p.z); };
    const glm::dvec3 right = glm::normalize(vec(first[1]) - vec(first[0]));
    const glm::dvec3 down = glm::normalize(vec(first[3]) - vec(first[0]));
    const glm::dvec3 up = glm::cross(down, right);
    glm::dvec3 low(1e9);
    glm::dvec3 high(-1e9);
    for (const auto& marker : board.objPoints) {
        for (const auto& corner : marker) {
            low = glm::min(low, vec(corner));
            high = glm::max(high, vec(corner));
        }
    }
    const glm::dvec3 centre = (low + high) * 0.5;
    glm::dmat4 m(1.0);  // columns hold the world image of each board axis: rows are right, up, down
    for (int i = 0; i < 3; ++i) {
        m[i][0] = right[i];
        m[i][1] = up[i];
        m[i][2] = down[i];
    }
    m[3] = glm::dvec4(-glm::dvec3(m * glm::dvec4(centre, 0.0)), 1.0);
    return m;
}

std::string newIdentifier() {
    std::string text = boost::uuids::to_string(boost::uuids::random_generator()());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

}  // namespace

CGSize ARMarkerBoard::size() const noexcept {
    return {markersX * markerLength + (markersX - 1) * markerSeparation,
            markersY * markerLength + (markersY - 1) * markerSeparation};
}

std::shared_ptr<UIImage> ARMarkerBoard::image(double pixelsPerMetre, double margin) const {
    const CGSize grid = size();
    const int marginPixels = static_cast<int>(std::lround(std::max(0.0, margin) * pixelsPerMetre));
    const cv::Size out(static_cast<int>(std::lround(grid.width * pixelsPerMetre)) + 2 * marginPixels,
                       static_cast<int>(std::lround(grid.height * pixelsPerMetre)) + 2 * marginPixels);
    if (out.width <= 0 || out.height <= 0 || out.width > UIImage::kMaxDimension ||
        out.height > UIImage::kMaxDimension) {
        return nullptr;
    }
    cv::Mat grey;
    cv::aruco::drawPlanarBoard(gridBoard(*this), out, grey, marginPixels, 1);
    cv::Mat rgba;
    cv::cvtColor(grey, rgba, cv::COLOR_GRAY2RGBA);
    return std::make_shared<UIImage>(rgba.cols, rgba.rows, std::vector<std::uint8_t>(rgba.datastart, rgba.dataend));
}

struct ARMarkerSession::Impl {
    Options options;
    cv::Ptr<cv::aruco::GridBoard> board;
    cv::Ptr<cv::aruco::DetectorParameters> parameters;
    glm::dmat4 worldFromBoard{1.0};
    cv::VideoCapture capture;  // closes its source when destroyed
    bool fromCamera = false;
    double videoStart = 0.0;
    glm::mat4 lastPose{1.0f};
    std::string boardAnchor;
};

ARMarkerSession::ARMarkerSession(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->board = gridBoard(impl_->options.board);
    impl_->parameters = cv::aruco::DetectorParameters::create();
    impl_->parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
    impl_->worldFromBoard = worldFromBoard(*impl_->board);
}

ARMarkerSession::~ARMarkerSession() = default;

const ARMarkerSession::Options& ARMarkerSession::options() const noexcept { return impl_->options; }

void ARMarkerSession::didRun(ARSessionRunOptions options) {
    if (contains(options, ARSessionRunOptions::resetTracking)) impl_->lastPose = glm::mat4(1.0f);
}

std::optional<Error> ARMarkerSession::openVideo(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path) || !impl_->capture.open(path.string())) {
        return makeError(ARSessionErrorCode::sensorUnavailable, "cannot open video " + path.string());
    }
    impl_->fromCamera = false;
    return std::nullopt;
}

std::optional<Error> ARMarkerSession::openCamera(int index) {
    if (!impl_->capture.open(index)) {
        return makeError(ARSessionErrorCode::sensorUnavailable, "cannot open camera " + std::to_string(index));
    }
    impl_->fromCamera = true;
    return std::nullopt;
}

bool ARMarkerSession::advance() {
    if (!isRunning() || !impl_->capture.isOpened()) return false;
    cv::Mat bgr;
    if (!impl_->capture.read(bgr) || bgr.empty()) {
        if (impl_->fromCamera) {
            reportFailure(makeError(ARSessionErrorCode::sensorUnavailable, "the camera stopped delivering frames"));
        }
        return false;
    }
    const double timestamp = impl_->capture.get(cv::CAP_PROP_POS_MSEC) / 1000.0;
    cv::Mat rgba;
    cv::cvtColor(bgr, rgba, bgr.channels() == 1 ? cv::COLOR_GRAY2RGBA : cv::COLOR_BGR2RGBA);
    if (!rgba.isContinuous()) rgba = rgba.clone();
    processImage(
        std::make_shared<UIImage>(rgba.cols, rgba.rows, std::vector<std::uint8_t>(rgba.datastart, rgba.dataend)),
        timestamp);
    return true;
}

void ARMarkerSession::processImage(const std::shared_ptr<UIImage>& image, double timestamp) {
    if (!isRunning() || image == nullptr || image->width() <= 0 || image->rgba().empty()) return;
    Impl& d = *impl_;
    auto frame = std::make_shared<ARFrame>();
    frame->timestamp = timestamp;
    frame->capturedImage = image;
    ARCamera& camera = frame->camera;
    camera.imageResolution = CGSize(image->width(), image->height());
    camera.intrinsics =
        d.options.intrinsics.value_or(ARCamera::intrinsicsFor(camera.imageResolution, d.options.verticalFieldOfView));
    camera.transform = d.lastPose;
    camera.trackingState = ARTrackingState::notAvailable;
    frame->lightEstimate = ARLightEstimate{std::clamp(2000.0 * detail::meanBrightness(*image), 0.0, 2000.0), 6500.0};

    const cv::Mat rgba(image->height(), image->width(), CV_8UC4, const_cast<std::uint8_t*>(image->rgba().data()));
    cv::Mat grey;
    cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<std::vector<cv::Point2f>> rejected;
    std::vector<int> ids;
    cv::aruco::detectMarkers(grey, d.board->dictionary, corners, ids, d.parameters, rejected);

    const cv::Matx33d k(camera.intrinsics[0][0], 0.0, camera.intrinsics[2][0], 0.0, camera.intrinsics[1][1],
                        camera.intrinsics[2][1], 0.0, 0.0, 1.0);
    const cv::Mat distortion(d.options.distortion, true);
    cv::Vec3d rvec;
    cv::Vec3d tvec;
    const int used = ids.empty() ? 0 : cv::aruco::estimatePoseBoard(corners, ids, d.board, k, distortion, rvec, tvec);
    if (used > 0) {
        cv::Matx33d r;
        cv::Rodrigues(rvec, r);
        // Camera (OpenCV: x right, y down, z ahead) from board, then turned to the scene graph's
        // camera axes (y up, looking down −z).
        glm::dmat4 cameraFromBoard(1.0);
        for (int row = 0; row < 3; ++row) {
            const double flip = row == 0 ? 1.0 : -1.0;
            for (int col = 0; col < 3; ++col) cameraFromBoard[col][row] = flip * r(row, col);
            cameraFromBoard[3][row] = flip * tvec[row];
        }
        const glm::dmat4 worldFromCamera = d.worldFromBoard * glm::inverse(cameraFromBoard);
        camera.transform = glm::mat4(worldFromCamera);
        camera.trackingState = used >= 2 ? ARTrackingState::normal : ARTrackingState::limited;
        d.lastPose = camera.transform;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const auto at = std::find(d.board->ids.begin(), d.board->ids.end(), ids[i]);
            if (at == d.board->ids.end()) continue;
            for (const auto& corner : d.board->objPoints[static_cast<std::size_t>(at - d.board->ids.begin())]) {
                frame->rawFeaturePoints.emplace_back(d.worldFromBoard * glm::dvec4(corner.x, corner.y, corner.z, 1.0));
            }
        }
        const bool anchored = std::any_of(anchors().begin(), anchors().end(),
                                          [&](const auto& a) { return a->identifier() == d.boardAnchor; });
        if (!anchored) {
            d.boardAnchor = newIdentifier();
            const CGSize size = d.options.board.size();
            deliverAddedAnchors({std::make_shared<ARPlaneAnchor>(
                d.boardAnchor, glm::mat4(1.0f), ARPlaneAnchorAlignment::horizontal, glm::vec3(0.0f),
                glm::vec3(static_cast<float>(size.width), 0.0f, static_cast<float>(size.height)))});
        }
    }
    deliverFrame(std::move(frame));
}

}  // namespace vantrel
