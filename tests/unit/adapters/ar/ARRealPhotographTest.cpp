// The marker session on photographs of printed boards lying on a desk, taken by a calibrated webcam
// (OpenCV's tutorial material, see tests/data/ar/real/README.md), not on pictures it drew itself.

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <random>

#include <glm/gtc/quaternion.hpp>

#include "ArTestSupport.hpp"
#include "vantrel/adapters/ARMarkerSession.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/adapters/ARSCNView.hpp"
#include "vantrel/graph/SCNLight.hpp"

namespace vantrel {
namespace {

std::filesystem::path realData(const std::string& name) {
    return test::sourceDirectory() / "tests/data/ar/real" / name;
}

constexpr CGSize kPhoto(640, 480);

// The 5 × 7 grid board of gboriginal.png with its dictionary file and camera.
ARMarkerSession::Options gridBoardOptions() {
    auto options = ARMarkerSession::Options::fromCalibrationFile(realData("tutorial_camera_params.yml"));
    EXPECT_TRUE(options.hasValue()) << (options ? "" : options.error().description());
    ARMarkerSession::Options out = options ? *options : ARMarkerSession::Options{};
    out.board.markersX = 5;
    out.board.markersY = 7;
    out.board.markerLength = 0.0275f;
    out.board.markerSeparation = 0.0055f;
    out.board.dictionaryFile = realData("tutorial_dict.yml");
    return out;
}

// The 5 × 7 ChArUco board of choriginal.jpg with its camera.
ARMarkerSession::Options charucoBoardOptions() {
    auto options = ARMarkerSession::Options::fromCalibrationFile(realData("tutorial_camera_charuco.yml"));
    EXPECT_TRUE(options.hasValue()) << (options ? "" : options.error().description());
    ARMarkerSession::Options out = options ? *options : ARMarkerSession::Options{};
    out.board = ar_test::charucoBoard(5, 7, 0.04f, 0.02f, 10);  // dictionary 10: 6 × 6 bits, 250 markers
    return out;
}

struct AnchorCounter final : ARSessionObserver {
    std::vector<std::shared_ptr<ARAnchor>> added;
    void sessionDidAddAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override {
        added.insert(added.end(), anchors.begin(), anchors.end());
    }
};

struct Photograph {
    const char* file;
    ARMarkerSession::Options (*options)();
    // The middle marker's corners as OpenCV's detector finds them in the picture: the board's
    // centre is that marker's centre (grid: marker 17 of 35; ChArUco: marker 8 of 17, on the middle square).
    std::array<glm::dvec2, 4> middleMarker;
};

const Photograph kGrid{
    "gboriginal.png", gridBoardOptions, {{{293.45, 179.65}, {334.36, 189.32}, {320.17, 218.13}, {277.83, 208.47}}}};
const Photograph kCharuco{
    "choriginal.jpg", charucoBoardOptions, {{{287.83, 201.52}, {312.78, 205.75}, {307.82, 226.97}, {283.89, 222.14}}}};

// Where the diagonals of a quadrilateral cross.
glm::dvec2 diagonalsCross(const std::array<glm::dvec2, 4>& q) {
    const glm::dvec2 r = q[2] - q[0];
    const glm::dvec2 s = q[3] - q[1];
    const glm::dvec2 qp = q[1] - q[0];
    const double t = (qp.x * s.y - qp.y * s.x) / (r.x * s.y - r.y * s.x);
    return q[0] + t * r;
}

// Parameters by file name, which the test names show.
class ARRealPhotographTest : public ::testing::TestWithParam<std::string> {
protected:
    static const Photograph& photograph() { return GetParam() == kGrid.file ? kGrid : kCharuco; }
};

TEST_P(ARRealPhotographTest, TracksTheBoardOnTheDeskWithUpOutOfThePaperAndItsCentreOnTheMiddleMarker) {
    const Photograph& photo = photograph();
    auto session = std::make_shared<ARMarkerSession>(photo.options());
    auto counter = std::make_shared<AnchorCounter>();
    session->addObserver(counter);
    session->runWithConfiguration({});
    const auto picture = UIImage::fromFile(realData(photo.file));
    ASSERT_NE(picture, nullptr);
    session->processImage(picture, 0.0);
    const auto frame = session->currentFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->camera.trackingState, ARTrackingState::normal);

    ASSERT_EQ(counter->added.size(), 1u);
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(counter->added.front());
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->alignment(), ARPlaneAnchorAlignment::horizontal);

    const auto centre = frame->camera.viewportPoint(glm::vec3(0.0f), kPhoto);
    ASSERT_TRUE(centre.has_value());
    const glm::dvec2 marker = diagonalsCross(photo.middleMarker);
    const double miss = glm::length(glm::dvec2(centre->x, centre->y) - marker);
    std::cout << photo.file << ": board centre drawn " << miss << " px from the middle marker's centre\n";
    EXPECT_LT(miss, 3.0);

    // Up is out of the desk: the camera is above the paper looking down at it, and a point above the
    // centre is drawn higher in the picture.
    const glm::mat4& pose = frame->camera.transform;
    EXPECT_GT(pose[3].y, 0.1f);
    EXPECT_LT(-pose[2].y, -0.3f) << "looking down";
    const auto above = frame->camera.viewportPoint(glm::vec3(0.0f, 0.05f, 0.0f), kPhoto);
    ASSERT_TRUE(above.has_value());
    EXPECT_LT(above->y, centre->y - 10.0);
    // The paper lies in the picture's upper middle: the camera is in front of the board (+Z), a
    // few tens of centimetres away, as a webcam on a desk is.
    EXPECT_GT(pose[3].z, 0.1f);
    EXPECT_LT(glm::length(glm::vec3(pose[3])), 1.0f);
    // Feature points on the paper.
    EXPECT_GE(frame->rawFeaturePoints.size(), 20u);
    for (const auto& point : frame->rawFeaturePoints) EXPECT_NEAR(point.y, 0.0f, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(GridAndCharucoBoards, ARRealPhotographTest, ::testing::Values(kGrid.file, kCharuco.file),
                         [](const auto& named) { return named.param == kGrid.file ? "Grid" : "Charuco"; });

TEST(ARRealPhotographTest, ASofaPlacedAtTheViewsCentreStandsOnTheBoardInTheDrawnPicture) {
    for (const Photograph* photo : {&kGrid, &kCharuco}) {
        auto session = std::make_shared<ARMarkerSession>(photo->options());
        ARSCNView view(CGRect(0, 0, kPhoto.width, kPhoto.height));
        view.setSession(session);
        // Light from above and behind the camera, and some from everywhere, as in a room.
        auto sun = SCNNode::make();
        sun->setLight(SCNLight::make(SCNLightType::directional));
        sun->setEulerAngles({-0.9f, 0.3f, 0.0f});
        view.scene()->rootNode()->addChildNode(sun);
        auto room = SCNNode::make();
        room->setLight(SCNLight::make(SCNLightType::ambient));
        room->light()->setIntensity(400.0);
        view.scene()->rootNode()->addChildNode(room);
        session->runWithConfiguration({});
        session->processImage(UIImage::fromFile(realData(photo->file)), 0.0);

        const CGPoint middle(kPhoto.width / 2, kPhoto.height / 2);
        const auto hits = view.hitTest(middle, ARHitTestResultType::existingPlaneUsingExtent);
        ASSERT_FALSE(hits.empty()) << photo->file;
        const glm::vec3 spot(hits.front().worldTransform[3]);
        EXPECT_NEAR(spot.y, 0.0f, 1e-4f);
        const CGSize board = session->options().board.size();
        EXPECT_LT(std::abs(spot.x), board.width / 2);
        EXPECT_LT(std::abs(spot.z), board.height / 2);

        const double width = 0.7 * board.width;
        auto sofa = ar_test::standingSofa(width);
        sofa->setSimdWorldTransform(hits.front().worldTransform);
        view.scene()->rootNode()->addChildNode(sofa);
        const auto snapshot = view.snapshot();
        ASSERT_TRUE(snapshot.hasValue()) << (snapshot ? "" : snapshot.error().description());
        const auto file = ar_test::outputFolder() / (std::string("sofa-on-real-") + photo->file + ".png");
        ASSERT_FALSE(view.writeSnapshot(file).has_value());
        std::cout << "wrote " << file << "\n";

        // The sofa covers the spot above where it stands; the picture's far corner is the photograph's.
        const UIImage& drawn = **snapshot;
        const UIImage& camera = *session->currentFrame()->capturedImage;
        const auto differs = [&](const CGPoint& p) {
            const std::size_t at = (static_cast<std::size_t>(p.y) * static_cast<std::size_t>(kPhoto.width) +
                                    static_cast<std::size_t>(p.x)) *
                                   4;
            int sum = 0;
            for (std::size_t c = 0; c < 3; ++c) sum += std::abs(drawn.rgba()[at + c] - camera.rgba()[at + c]);
            return sum;
        };
        const auto seat =
            session->currentFrame()->camera.viewportPoint(spot + glm::vec3(0.0f, 0.3f * width, 0.0f), kPhoto);
        ASSERT_TRUE(seat.has_value());
        EXPECT_GT(differs(*seat), 60) << photo->file;
        EXPECT_LE(differs(CGPoint(2, 2)), 6) << photo->file;
        // The spot where it stands is the view's centre: it stands there, not beside it.
        const auto foot = session->currentFrame()->camera.viewportPoint(spot, kPhoto);
        ASSERT_TRUE(foot.has_value());
        EXPECT_NEAR(foot->x, middle.x, 1.0);
        EXPECT_NEAR(foot->y, middle.y, 1.0);
    }
}

// A still camera over the desk: the same photograph with fresh sensor noise in every frame, 30
// frames a second.
std::vector<std::shared_ptr<UIImage>> steadyRecording(const UIImage& photo, int frames, double noise) {
    std::mt19937 random(7);
    std::normal_distribution<double> grain(0.0, noise);
    std::vector<std::shared_ptr<UIImage>> out;
    for (int f = 0; f < frames; ++f) {
        std::vector<std::uint8_t> pixels = photo.rgba();
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (i % 4 == 3) continue;
            pixels[i] = static_cast<std::uint8_t>(std::clamp(pixels[i] + grain(random), 0.0, 255.0));
        }
        out.push_back(std::make_shared<UIImage>(photo.width(), photo.height(), std::move(pixels)));
    }
    return out;
}

struct Jitter {
    double millimetres = 0.0;  // largest frame-to-frame move of the camera
    double degrees = 0.0;      // largest frame-to-frame turn
};

Jitter jitterOf(ARMarkerSession::Options options, const std::vector<std::shared_ptr<UIImage>>& frames) {
    ARMarkerSession session(std::move(options));
    session.runWithConfiguration({});
    Jitter worst;
    std::optional<glm::mat4> previous;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        session.processImage(frames[i], static_cast<double>(i) / 30.0);
        const glm::mat4 pose = session.currentFrame()->camera.transform;
        EXPECT_EQ(session.currentFrame()->camera.trackingState, ARTrackingState::normal);
        if (previous) {
            worst.millimetres =
                std::max(worst.millimetres, 1000.0 * glm::length(glm::vec3(pose[3]) - glm::vec3((*previous)[3])));
            // In double: a float quaternion cannot tell turns below a few hundredths of a degree.
            const glm::dquat a = glm::quat_cast(glm::dmat3(glm::mat3(pose)));
            const glm::dquat b = glm::quat_cast(glm::dmat3(glm::mat3(*previous)));
            worst.degrees =
                std::max(worst.degrees, glm::degrees(2.0 * std::acos(std::min(1.0, std::abs(glm::dot(a, b))))));
        }
        previous = pose;
    }
    return worst;
}

TEST(ARRealPhotographTest, AStillCameraKeepsThePoseSteadyUnderSensorNoiseOnceSmoothed) {
    for (const Photograph* photo : {&kGrid, &kCharuco}) {
        const auto picture = UIImage::fromFile(realData(photo->file));
        ASSERT_NE(picture, nullptr);
        const auto frames = steadyRecording(*picture, 30, 6.0);
        auto raw = photo->options();
        raw.smoothPose = false;
        const Jitter before = jitterOf(raw, frames);
        const Jitter after = jitterOf(photo->options(), frames);
        std::cout << photo->file << ": frame-to-frame jitter, raw " << before.millimetres << " mm " << before.degrees
                  << "°, smoothed " << after.millimetres << " mm " << after.degrees << "°\n";
        EXPECT_LT(after.millimetres, 2.0) << photo->file;
        EXPECT_LT(after.degrees, 0.2) << photo->file;
        EXPECT_LT(after.millimetres, before.millimetres) << photo->file;
        EXPECT_LT(after.degrees, before.degrees) << photo->file;
    }
}

}  // namespace
}  // namespace vantrel
