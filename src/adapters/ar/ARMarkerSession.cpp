#include "vantrel/adapters/ARMarkerSession.hpp"

#include <algorithm>
#include <cmath>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <glm/glm.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "adapters/ar/ImageCompositing.hpp"
#include "adapters/ar/markers/MarkerBoards.hpp"
#include "adapters/ar/markers/PoseFilter.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel {
namespace {

// A chessboard corner may miss the markers' pose by this many pixels, or this many times the
// corners' median miss when that is more (the markers' pose is itself off by a pixel or so).
constexpr double kCornerAgreementPixels = 1.5;
constexpr double kCornerAgreementMedians = 2.5;

std::string newIdentifier() {
    std::string text = boost::uuids::to_string(boost::uuids::random_generator()());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

// Whether the machine has a video device (Linux names them /dev/video0, /dev/video1, …).
bool hasVideoDevice() {
    std::error_code error;
    for (std::filesystem::directory_iterator it("/dev", error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().starts_with("video")) return true;
    }
    return false;
}

// The intrinsics for frames of `frame` size: the given ones scaled from the size they were
// measured at, or an ideal camera.
glm::mat3 intrinsicsFor(const ARMarkerSession::Options& options, const CGSize& frame) {
    if (!options.intrinsics) return ARCamera::intrinsicsFor(frame, options.verticalFieldOfView);
    glm::mat3 k = *options.intrinsics;
    if (const auto& measured = options.calibrationSize;
        measured && measured->width > 0 && measured->height > 0 &&
        (measured->width != frame.width || measured->height != frame.height)) {
        const auto sx = static_cast<float>(frame.width / measured->width);
        const auto sy = static_cast<float>(frame.height / measured->height);
        k[0][0] *= sx;
        k[2][0] *= sx;
        k[1][1] *= sy;
        k[2][1] *= sy;
    }
    return k;
}

// The chessboard corners that lie where the markers' pose puts them. The corner search can be
// pulled off a corner by a marker's edge or blur inside its window (some pixels, enough to tilt a
// pose from a few corners by degrees); such a corner stands out against the others' agreement.
void keepCornersAgreeingWithMarkers(const cv::aruco::CharucoBoard& board, const cv::Vec3d& rvec, const cv::Vec3d& tvec,
                                    const cv::Matx33d& k, const cv::Mat& distortion,
                                    const std::vector<cv::Point2f>& corners, const std::vector<int>& ids,
                                    std::vector<cv::Point2f>& keptCorners, std::vector<int>& keptIds) {
    if (ids.empty()) return;
    std::vector<cv::Point3f> onBoard;
    for (const int id : ids) onBoard.push_back(board.chessboardCorners[static_cast<std::size_t>(id)]);
    std::vector<cv::Point2f> expected;
    cv::projectPoints(onBoard, rvec, tvec, k, distortion, expected);
    std::vector<double> misses;
    for (std::size_t i = 0; i < ids.size(); ++i) misses.push_back(cv::norm(corners[i] - expected[i]));
    std::vector<double> sorted = misses;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double limit = std::max(kCornerAgreementPixels, kCornerAgreementMedians * sorted[sorted.size() / 2]);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (misses[i] > limit) continue;
        keptCorners.push_back(corners[i]);
        keptIds.push_back(ids[i]);
    }
}

}  // namespace

CGSize ARMarkerBoard::size() const noexcept {
    if (kind == ARMarkerBoardKind::charuco) return {markersX * squareLength, markersY * squareLength};
    return {markersX * markerLength + (markersX - 1) * markerSeparation,
            markersY * markerLength + (markersY - 1) * markerSeparation};
}

std::optional<Error> ARMarkerBoard::check() const {
    const auto board = detail::makeBoard(*this);
    if (!board) return board.error();
    return std::nullopt;
}

std::shared_ptr<UIImage> ARMarkerBoard::image(double pixelsPerMetre, double margin) const {
    const auto board = detail::makeBoard(*this);
    if (!board) return nullptr;
    const CGSize grid = size();
    const int marginPixels = static_cast<int>(std::lround(std::max(0.0, margin) * pixelsPerMetre));
    const cv::Size out(static_cast<int>(std::lround(grid.width * pixelsPerMetre)) + 2 * marginPixels,
                       static_cast<int>(std::lround(grid.height * pixelsPerMetre)) + 2 * marginPixels);
    if (out.width <= 0 || out.height <= 0 || out.width > UIImage::kMaxDimension ||
        out.height > UIImage::kMaxDimension) {
        return nullptr;
    }
    cv::Mat grey;
    if (board->charuco) {
        board->charuco->draw(out, grey, marginPixels, 1);
    } else {
        cv::aruco::drawPlanarBoard(board->markers, out, grey, marginPixels, 1);
    }
    cv::Mat rgba;
    cv::cvtColor(grey, rgba, cv::COLOR_GRAY2RGBA);
    return std::make_shared<UIImage>(rgba.cols, rgba.rows, std::vector<std::uint8_t>(rgba.datastart, rgba.dataend));
}

struct ARMarkerSession::Impl {
    Options options;
    detail::MarkerBoard board;  // empty when the board cannot be made (boardError)
    std::optional<Error> boardError;
    cv::Ptr<cv::aruco::DetectorParameters> parameters;
    glm::dmat4 worldFromBoard{1.0};
    detail::PoseFilter filter;
    cv::VideoCapture capture;  // closes its source when destroyed
    enum class Source { none, video, camera, cameraFailed } source = Source::none;
    glm::mat4 lastPose{1.0f};
    int framesWithoutBoard = 0;
    bool everFound = false;
    std::string boardAnchor;

    // A pose of the board seen in one picture.
    struct Sighting {
        cv::Vec3d rvec;
        cv::Vec3d tvec;
        bool normal = false;
        std::vector<cv::Point3f> features;  // board coordinates
    };
    std::optional<Sighting> find(const cv::Mat& grey, const cv::Matx33d& k, const cv::Mat& distortion) const;
};

std::optional<ARMarkerSession::Impl::Sighting> ARMarkerSession::Impl::find(const cv::Mat& grey, const cv::Matx33d& k,
                                                                           const cv::Mat& distortion) const {
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<std::vector<cv::Point2f>> rejected;
    std::vector<int> ids;
    cv::aruco::detectMarkers(grey, board.markers->dictionary, corners, ids, parameters, rejected);
    if (ids.empty()) return std::nullopt;
    Sighting seen;
    const auto& markers = board.markers;
    const int used = cv::aruco::estimatePoseBoard(corners, ids, markers, k, distortion, seen.rvec, seen.tvec);
    if (used <= 0) return std::nullopt;
    seen.normal = used >= 2;
    if (const auto& charuco = board.charuco) {
        std::vector<cv::Point2f> found;
        std::vector<int> foundIds;
        // Without the camera model the corners come from the nearby markers' homographies, which
        // follows lens distortion better than projecting the whole board.
        cv::aruco::interpolateCornersCharuco(corners, ids, grey, charuco, found, foundIds);
        std::vector<cv::Point2f> chessCorners;
        std::vector<int> chessIds;
        keepCornersAgreeingWithMarkers(*charuco, seen.rvec, seen.tvec, k, distortion, found, foundIds, chessCorners,
                                       chessIds);
        cv::Vec3d rvec = seen.rvec;
        cv::Vec3d tvec = seen.tvec;
        if (chessIds.size() >= 4 &&
            cv::aruco::estimatePoseCharucoBoard(chessCorners, chessIds, charuco, k, distortion, rvec, tvec)) {
            seen.rvec = rvec;
            seen.tvec = tvec;
            for (const int id : chessIds) {
                seen.features.push_back(charuco->chessboardCorners[static_cast<std::size_t>(id)]);
            }
            return seen;
        }
    }
    for (const int id : ids) {
        const auto at = std::find(markers->ids.begin(), markers->ids.end(), id);
        if (at == markers->ids.end()) continue;
        const auto& marker = markers->objPoints[static_cast<std::size_t>(at - markers->ids.begin())];
        seen.features.insert(seen.features.end(), marker.begin(), marker.end());
    }
    return seen;
}

ARMarkerSession::ARMarkerSession(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    if (auto board = detail::makeBoard(impl_->options.board)) {
        impl_->board = *board;
        impl_->worldFromBoard = detail::worldFromBoard(impl_->board);
    } else {
        impl_->boardError = board.error();
    }
    impl_->parameters = cv::aruco::DetectorParameters::create();
    impl_->parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
}

ARMarkerSession::~ARMarkerSession() = default;

const ARMarkerSession::Options& ARMarkerSession::options() const noexcept { return impl_->options; }

bool ARMarkerSession::isSupported() const {
    switch (impl_->source) {
        case Impl::Source::video: return true;
        case Impl::Source::camera: return impl_->capture.isOpened();
        case Impl::Source::cameraFailed: return false;
        case Impl::Source::none: break;
    }
    return impl_->options.hasCamera ? impl_->options.hasCamera() : hasVideoDevice();
}

void ARMarkerSession::didRun(ARSessionRunOptions options) {
    if (impl_->boardError) {
        reportFailure(*impl_->boardError);
        return;
    }
    if (contains(options, ARSessionRunOptions::resetTracking)) {
        impl_->lastPose = glm::mat4(1.0f);
        impl_->filter.reset();
        impl_->everFound = false;
    }
}

std::optional<Error> ARMarkerSession::openVideo(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path) || !impl_->capture.open(path.string())) {
        return makeError(ARSessionErrorCode::sensorUnavailable, "cannot open video " + path.string());
    }
    impl_->source = Impl::Source::video;
    return std::nullopt;
}

std::optional<Error> ARMarkerSession::openCamera(int index) {
    if (!impl_->capture.open(index)) {
        impl_->source = Impl::Source::cameraFailed;
        return makeError(ARSessionErrorCode::sensorUnavailable, "cannot open camera " + std::to_string(index));
    }
    impl_->source = Impl::Source::camera;
    return std::nullopt;
}

bool ARMarkerSession::advance() {
    if (!isRunning() || !impl_->capture.isOpened()) return false;
    cv::Mat bgr;
    if (!impl_->capture.read(bgr) || bgr.empty()) {
        if (impl_->source == Impl::Source::camera) {
            impl_->capture.release();
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
    camera.intrinsics = intrinsicsFor(d.options, camera.imageResolution);
    camera.transform = d.lastPose;
    frame->lightEstimate = ARLightEstimate{std::clamp(2000.0 * detail::meanBrightness(*image), 0.0, 2000.0), 6500.0};

    const cv::Mat rgba(image->height(), image->width(), CV_8UC4, const_cast<std::uint8_t*>(image->rgba().data()));
    cv::Mat grey;
    cv::cvtColor(rgba, grey, cv::COLOR_RGBA2GRAY);
    const cv::Matx33d k(camera.intrinsics[0][0], 0.0, camera.intrinsics[2][0], 0.0, camera.intrinsics[1][1],
                        camera.intrinsics[2][1], 0.0, 0.0, 1.0);
    const cv::Mat distortion(d.options.distortion, true);
    const auto seen = d.find(grey, k, distortion);
    if (!seen) {
        // Out of sight for a moment (a hand over the board, motion blur): the model stays where it
        // was, with tracking limited, until the board has been gone for longer.
        ++d.framesWithoutBoard;
        camera.trackingState = d.everFound && d.framesWithoutBoard <= std::max(0, d.options.limitedFrames)
                                   ? ARTrackingState::limited
                                   : ARTrackingState::notAvailable;
        if (camera.trackingState == ARTrackingState::notAvailable) d.filter.reset();
        deliverFrame(std::move(frame));
        return;
    }
    d.framesWithoutBoard = 0;
    d.everFound = true;
    cv::Matx33d r;
    cv::Rodrigues(seen->rvec, r);
    // Camera (OpenCV: x right, y down, z ahead) from board, then turned to the scene graph's camera
    // axes (y up, looking down −z).
    glm::dmat4 cameraFromBoard(1.0);
    for (int row = 0; row < 3; ++row) {
        const double flip = row == 0 ? 1.0 : -1.0;
        for (int col = 0; col < 3; ++col) cameraFromBoard[col][row] = flip * r(row, col);
        cameraFromBoard[3][row] = flip * seen->tvec[row];
    }
    glm::dmat4 worldFromCamera = d.worldFromBoard * glm::inverse(cameraFromBoard);
    if (d.options.smoothPose) worldFromCamera = d.filter.apply(worldFromCamera, timestamp);
    camera.transform = glm::mat4(worldFromCamera);
    camera.trackingState = seen->normal ? ARTrackingState::normal : ARTrackingState::limited;
    d.lastPose = camera.transform;
    for (const auto& corner : seen->features) {
        frame->rawFeaturePoints.emplace_back(d.worldFromBoard * glm::dvec4(corner.x, corner.y, corner.z, 1.0));
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
    deliverFrame(std::move(frame));
}

}  // namespace vantrel
