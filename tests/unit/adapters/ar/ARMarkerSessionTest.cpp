#include "vantrel/adapters/ARMarkerSession.hpp"

#include <gtest/gtest.h>

#include <glm/gtc/quaternion.hpp>

#include "ArTestSupport.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/adapters/ARSCNView.hpp"
#include "vantrel/adapters/ARSessionRecorder.hpp"
#include "vantrel/graph/SCNLight.hpp"

namespace vantrel {
namespace {

using ar_test::BoardStage;

struct AnchorCounter final : ARSessionObserver {
    std::vector<std::shared_ptr<ARAnchor>> added;
    void sessionDidAddAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override {
        added.insert(added.end(), anchors.begin(), anchors.end());
    }
};

double angleBetweenDegrees(const glm::mat4& a, const glm::mat4& b) {
    const glm::quat qa = glm::quat_cast(glm::mat3(a));
    const glm::quat qb = glm::quat_cast(glm::mat3(b));
    return glm::degrees(2.0 * std::acos(std::min(1.0, static_cast<double>(std::abs(glm::dot(qa, qb))))));
}

TEST(ARMarkerSessionTest, RecoversTheCameraPathOfRenderedFramesWithinMillimetresAndADegree) {
    BoardStage stage(640, 480);
    ARMarkerSession::Options options;
    options.intrinsics = ARCamera::intrinsicsFor(CGSize(640, 480), 60.0);
    auto session = std::make_shared<ARMarkerSession>(options);
    auto counter = std::make_shared<AnchorCounter>();
    session->addObserver(counter);
    session->runWithConfiguration({});

    double worstMillimetres = 0.0;
    double worstDegrees = 0.0;
    double time = 0.0;
    for (const auto& pose : ar_test::cameraPath()) {
        session->processImage(stage.shoot(pose), time += 0.1);
        const auto frame = session->currentFrame();
        ASSERT_EQ(frame->camera.trackingState, ARTrackingState::normal);
        worstMillimetres = std::max(worstMillimetres,
                                    1000.0 * glm::length(glm::vec3(frame->camera.transform[3]) - glm::vec3(pose[3])));
        worstDegrees = std::max(worstDegrees, angleBetweenDegrees(frame->camera.transform, pose));
        EXPECT_FALSE(frame->rawFeaturePoints.empty());
        for (const auto& point : frame->rawFeaturePoints) EXPECT_NEAR(point.y, 0.0f, 1e-5f);
    }
    EXPECT_LT(worstMillimetres, 3.0);
    EXPECT_LT(worstDegrees, 1.0);
    std::cout << "worst position error " << worstMillimetres << " mm, worst turn " << worstDegrees << " degrees\n";

    // One horizontal plane at the board, as big as the printed grid.
    ASSERT_EQ(counter->added.size(), 1u);
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(counter->added.front());
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->alignment(), ARPlaneAnchorAlignment::horizontal);
    EXPECT_NEAR(plane->extent().x, session->options().board.size().width, 1e-6);
    EXPECT_NEAR(plane->extent().z, session->options().board.size().height, 1e-6);
}

TEST(ARMarkerSessionTest, ASofaPlacedOnTheBoardAppearsInTheSnapshotOverTheCameraPicture) {
    BoardStage stage(320, 240);
    auto session = std::make_shared<ARMarkerSession>(ARMarkerSession::Options{});
    ARSCNView view(CGRect(0, 0, 320, 240));
    view.setSession(session);
    const auto recording = ar_test::outputFolder("board-walk-recorded");
    std::filesystem::remove_all(recording);
    auto recorder = ARSessionRecorder::record(*session, recording, 85);
    // A doll's-house sofa on the middle of the board, four fifths of the grid wide.
    auto sofa = ar_test::standingSofa(0.8 * session->options().board.size().width);
    view.scene()->rootNode()->addChildNode(sofa);
    auto sun = SCNNode::make();
    sun->setLight(SCNLight::make(SCNLightType::directional));
    sun->setEulerAngles({-1.0f, 0.5f, 0.0f});
    view.scene()->rootNode()->addChildNode(sun);

    session->runWithConfiguration({});
    double time = 0.0;
    for (const auto& pose : ar_test::cameraPath()) session->processImage(stage.shoot(pose), time += 0.1);
    ASSERT_FALSE(recorder->finish().has_value());
    EXPECT_EQ(recorder->frameCount(), ar_test::cameraPath().size());

    const auto snapshot = view.snapshot();
    ASSERT_TRUE(snapshot.hasValue()) << (snapshot ? "" : snapshot.error().description());
    ASSERT_FALSE(view.writeSnapshot(ar_test::outputFolder() / "sofa-on-board.png").has_value());
    const auto frame = session->currentFrame();
    const UIImage& picture = **snapshot;
    const UIImage& camera = *frame->capturedImage;
    const auto differs = [&](int x, int y) {
        const std::size_t at = (static_cast<std::size_t>(y) * 320 + static_cast<std::size_t>(x)) * 4;
        int sum = 0;
        for (std::size_t c = 0; c < 3; ++c) sum += std::abs(picture.rgba()[at + c] - camera.rgba()[at + c]);
        return sum;
    };
    // The sofa covers the spot above the board's centre; the picture's corners show the camera's.
    const auto box = sofa->boundingBox();
    const auto centre =
        frame->camera.viewportPoint(glm::vec3(0.0f, (box.min.y + box.max.y) / 2, 0.0f), CGSize(320, 240));
    ASSERT_TRUE(centre.has_value());
    EXPECT_GT(differs(static_cast<int>(centre->x), static_cast<int>(centre->y)), 60);
    for (const auto& [x, y] : {std::pair{1, 1}, std::pair{318, 1}, std::pair{1, 238}, std::pair{318, 238}}) {
        EXPECT_LE(differs(x, y), 6) << x << "," << y;
    }
}

TEST(ARMarkerSessionTest, FramesWithoutTheBoardKeepTheLastPoseLimitedForAFewFramesThenWithoutTracking) {
    BoardStage stage(320, 240);
    ARMarkerSession::Options options;
    options.limitedFrames = 3;
    auto session = std::make_shared<ARMarkerSession>(options);
    session->runWithConfiguration({});
    const auto pose = ar_test::cameraPose(10.0);
    session->processImage(stage.shoot(pose), 0.0);
    const glm::mat4 found = session->currentFrame()->camera.transform;
    const auto blank = UIImage::filled(UIColor(0.2, 0.2, 0.2), 320, 240);
    std::vector<ARTrackingState> states;
    for (int i = 1; i <= 4; ++i) {
        session->processImage(blank, 0.1 * i);
        const auto& frame = *session->currentFrame();
        states.push_back(frame.camera.trackingState);
        EXPECT_EQ(frame.camera.transform, found);
        EXPECT_TRUE(frame.rawFeaturePoints.empty());
    }
    EXPECT_EQ(states, (std::vector{ARTrackingState::limited, ARTrackingState::limited, ARTrackingState::limited,
                                   ARTrackingState::notAvailable}));
    // The light follows the picture's brightness: the dark grey frame reads darker than the white board.
    const auto& frame = *session->currentFrame();
    ASSERT_TRUE(frame.lightEstimate.has_value());
    EXPECT_LT(frame.lightEstimate->ambientIntensity, 500.0);
    // Found again: tracked at once, from the new picture alone (as a fresh session sees it).
    const auto again = stage.shoot(ar_test::cameraPose(-20.0));
    session->processImage(again, 0.5);
    EXPECT_EQ(session->currentFrame()->camera.trackingState, ARTrackingState::normal);
    ARMarkerSession fresh(options);
    fresh.runWithConfiguration({});
    fresh.processImage(again, 0.0);
    EXPECT_EQ(session->currentFrame()->camera.transform, fresh.currentFrame()->camera.transform);
}

TEST(ARMarkerSessionTest, AVideoThatCannotBeOpenedIsAnErrorAndFeedsNothing) {
    ARMarkerSession session(ARMarkerSession::Options{});
    session.runWithConfiguration({});
    const auto error = session.openVideo(ar_test::outputFolder() / "no-such-video.mp4");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, ARSession::errorDomain);
    EXPECT_EQ(error->code, static_cast<long>(ARSessionErrorCode::sensorUnavailable));
    EXPECT_FALSE(session.advance());
    EXPECT_EQ(session.currentFrame(), nullptr);
}

}  // namespace
}  // namespace vantrel
