#include "vantrel/adapters/ARReplaySession.hpp"

#include <gtest/gtest.h>

#include "ArTestSupport.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/adapters/ARSCNView.hpp"
#include "vantrel/adapters/ARSessionRecorder.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

using nlohmann::json;

json frameAt(double time, const glm::mat4& pose, json extra = json::object()) {
    json frame{{"timestamp", time},
               {"camera",
                {{"transform", ar_test::numbers(pose)},
                 {"intrinsics", ar_test::numbers(ARCamera::intrinsicsFor(CGSize(320, 240), 60.0))},
                 {"imageResolution", {320, 240}}}}};
    frame.update(extra);
    return frame;
}

json planeJson(const std::string& id, const std::string& alignment, float size) {
    return {{"identifier", id},
            {"transform", ar_test::numbers(glm::mat4(1.0f))},
            {"plane", {{"alignment", alignment}, {"center", {0, 0, 0}}, {"extent", {size, 0, size}}}}};
}

struct Log final : ARSCNViewDelegate {
    std::vector<std::string> events;
    void rendererDidAddNode(ARSCNView&, const std::shared_ptr<SCNNode>&, const std::shared_ptr<ARAnchor>& a) override {
        events.push_back("add " + a->identifier());
    }
    void rendererDidUpdateNode(ARSCNView&, const std::shared_ptr<SCNNode>&,
                               const std::shared_ptr<ARAnchor>& a) override {
        const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(a);
        events.push_back("update " + a->identifier() + " " + std::to_string(static_cast<int>(plane->extent().x)));
    }
    void rendererDidRemoveNode(ARSCNView&, const std::shared_ptr<SCNNode>& node,
                               const std::shared_ptr<ARAnchor>& a) override {
        events.push_back("remove " + a->identifier() + (node->parentNode() == nullptr ? "" : " still in scene"));
    }
    void rendererUpdateAtTime(ARSCNView&, double time) override { events.push_back("frame " + std::to_string(time)); }
};

std::shared_ptr<ARReplaySession> openOrFail(const std::filesystem::path& directory,
                                            std::shared_ptr<Clock> clock = nullptr) {
    auto opened = ARReplaySession::open(directory, std::move(clock));
    EXPECT_TRUE(opened.hasValue()) << (opened ? "" : opened.error().description());
    return opened ? *opened : nullptr;
}

TEST(ARReplaySessionTest, PlaysAnchorChangesAndCameraIntoTheViewInOrderAndRestartsOnReset) {
    const json frames{
        frameAt(0.0, ar_test::cameraPose(0.0), {{"addedAnchors", {planeJson("floor", "horizontal", 1)}}}),
        frameAt(0.5, ar_test::cameraPose(20.0),
                {{"updatedAnchors", {planeJson("floor", "horizontal", 3)}},
                 {"addedAnchors", {planeJson("wall", "vertical", 2)}}}),
        frameAt(1.0, ar_test::cameraPose(40.0), {{"removedAnchors", {"floor"}}}),
    };
    auto session = openOrFail(ar_test::writeRecording(ar_test::outputFolder("replay-order"), frames));
    ASSERT_NE(session, nullptr);
    ARSCNView view;
    auto log = std::make_shared<Log>();
    view.setDelegate(log);
    view.setSession(session);

    EXPECT_FALSE(session->advance()) << "nothing plays before the session runs";
    session->runWithConfiguration({});
    const std::vector<std::vector<std::string>> expected{
        {"add floor", "frame 0.000000"},
        {"add wall", "update floor 3", "frame 0.500000"},
        {"remove floor", "frame 1.000000"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        log->events.clear();
        ASSERT_TRUE(session->advance());
        EXPECT_EQ(log->events, expected[i]) << "frame " << i;
        const glm::mat4 pose = ar_test::cameraPose(20.0 * static_cast<double>(i));
        const glm::mat4 seen = view.pointOfView()->simdWorldTransform();
        for (int c = 0; c < 4; ++c) {
            for (int r = 0; r < 4; ++r) EXPECT_NEAR(seen[c][r], pose[c][r], 1e-5f) << "frame " << i;
        }
    }
    EXPECT_FALSE(session->advance());
    ASSERT_EQ(session->anchors().size(), 1u);
    EXPECT_NE(view.nodeForAnchor(*session->anchors().front()), nullptr);

    log->events.clear();
    session->runWithConfiguration({}, ARSessionRunOptions::resetTracking | ARSessionRunOptions::removeExistingAnchors);
    ASSERT_TRUE(session->advance());
    EXPECT_EQ(log->events, (std::vector<std::string>{"remove wall", "add floor", "frame 0.000000"}));
}

TEST(ARReplaySessionTest, UpdatePlaysTheFramesWhoseTimeHasComeOnTheClockAndPausingHoldsTime) {
    const json frames{frameAt(10.0, glm::mat4(1.0f)), frameAt(10.5, glm::mat4(1.0f)), frameAt(11.0, glm::mat4(1.0f))};
    auto clock = std::make_shared<ManualClock>();
    auto session = openOrFail(ar_test::writeRecording(ar_test::outputFolder("replay-clock"), frames), clock);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->update(), 0u) << "not running";
    session->runWithConfiguration({});
    const struct {
        std::chrono::milliseconds step;
        bool pauseFirst;
        bool resumeFirst;
        std::size_t played;
    } steps[] = {
        {std::chrono::milliseconds(0), false, false, 1},   {std::chrono::milliseconds(400), false, false, 0},
        {std::chrono::milliseconds(100), false, false, 1}, {std::chrono::milliseconds(5000), true, false, 0},
        {std::chrono::milliseconds(400), false, true, 0},  {std::chrono::milliseconds(100), false, false, 1},
    };
    for (const auto& s : steps) {
        if (s.pauseFirst) session->pause();
        if (s.resumeFirst) session->runWithConfiguration({});
        clock->advance(s.step);
        EXPECT_EQ(session->update(), s.played) << "after " << s.step.count() << " ms";
    }
    EXPECT_EQ(session->nextFrameIndex(), 3u);
}

TEST(ARReplaySessionTest, BrokenRecordingsAreTypedErrors) {
    const auto folder = ar_test::outputFolder("replay-broken");
    const json good = frameAt(0.0, glm::mat4(1.0f));
    const struct {
        const char* name;
        std::string content;  // empty: no session.json at all
        ARSessionErrorCode code;
    } cases[] = {
        {"missing", "", ARSessionErrorCode::fileUnreadable},
        {"not-json", "{ frames: ", ARSessionErrorCode::fileMalformed},
        {"other-format", json{{"format", "other"}, {"version", 1}, {"frames", json::array()}}.dump(),
         ARSessionErrorCode::fileMalformed},
        {"short-matrix",
         json{{"format", "vantrel-ar-session"},
              {"version", 1},
              {"frames", {frameAt(0.0, glm::mat4(1.0f), {{"camera", {{"transform", {1, 0, 0}}}}})}}}
             .dump(),
         ARSessionErrorCode::fileMalformed},
        {"time-backwards",
         json{{"format", "vantrel-ar-session"}, {"version", 1}, {"frames", {frameAt(1.0, glm::mat4(1.0f)), good}}}
             .dump(),
         ARSessionErrorCode::fileMalformed},
        {"image-outside",
         json{{"format", "vantrel-ar-session"},
              {"version", 1},
              {"frames", {frameAt(0.0, glm::mat4(1.0f), {{"image", "../replay-order/session.json"}})}}}
             .dump(),
         ARSessionErrorCode::fileMalformed},
        {"image-missing",
         json{{"format", "vantrel-ar-session"},
              {"version", 1},
              {"frames", {frameAt(0.0, glm::mat4(1.0f), {{"image", "frames/none.jpg"}})}}}
             .dump(),
         ARSessionErrorCode::fileMalformed},
        {"bad-alignment",
         json{{"format", "vantrel-ar-session"},
              {"version", 1},
              {"frames", {frameAt(0.0, glm::mat4(1.0f), {{"addedAnchors", {planeJson("p", "diagonal", 1)}}})}}}
             .dump(),
         ARSessionErrorCode::fileMalformed},
    };
    for (const auto& c : cases) {
        const auto directory = folder / c.name;
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        if (!c.content.empty()) std::ofstream(directory / "session.json") << c.content;
        const auto opened = ARReplaySession::open(directory);
        ASSERT_FALSE(opened.hasValue()) << c.name;
        EXPECT_EQ(opened.error().domain, ARSession::errorDomain) << c.name;
        EXPECT_EQ(opened.error().code, static_cast<long>(c.code)) << c.name;
    }
}

TEST(ARReplaySessionTest, TheCommittedBoardWalkReplaysTheKnownCameraPathAndRecordsAgainUnchanged) {
    auto source = openOrFail(ar_test::boardRecording());
    ASSERT_NE(source, nullptr);
    const auto path = ar_test::cameraPath();
    ASSERT_EQ(source->frameCount(), path.size());
    const auto copyFolder = ar_test::outputFolder("board-walk-again");
    std::filesystem::remove_all(copyFolder);
    auto recorder = ARSessionRecorder::record(*source, copyFolder);
    ARSCNView view(CGRect(0, 0, 320, 240));
    view.setSession(source);
    source->runWithConfiguration({});
    std::vector<std::shared_ptr<ARFrame>> played;
    while (source->advance()) played.push_back(source->currentFrame());
    ASSERT_FALSE(recorder->finish().has_value());
    ASSERT_FALSE(view.writeSnapshot(ar_test::outputFolder() / "board-walk-replayed.png").has_value());
    ASSERT_EQ(played.size(), path.size());
    for (std::size_t i = 0; i < played.size(); ++i) {
        // The walk was tracked in 320×240 frames, where the board spans a fifth of the picture:
        // centimetres, not the millimetres of the full-size frames.
        EXPECT_LT(glm::length(glm::vec3(played[i]->camera.transform[3]) - glm::vec3(path[i][3])), 0.05f) << i;
        ASSERT_NE(played[i]->capturedImage, nullptr);
        EXPECT_EQ(played[i]->capturedImage->width(), 320);
        ASSERT_EQ(played[i]->anchors.size(), 1u);
    }

    auto copy = openOrFail(copyFolder);
    ASSERT_NE(copy, nullptr);
    copy->runWithConfiguration({});
    for (const auto& original : played) {
        ASSERT_TRUE(copy->advance());
        const auto& again = *copy->currentFrame();
        EXPECT_EQ(again.timestamp, original->timestamp);
        EXPECT_EQ(again.camera.transform, original->camera.transform);
        EXPECT_EQ(again.camera.intrinsics, original->camera.intrinsics);
        EXPECT_EQ(again.camera.trackingState, original->camera.trackingState);
        EXPECT_EQ(again.lightEstimate->ambientIntensity, original->lightEstimate->ambientIntensity);
        EXPECT_EQ(again.rawFeaturePoints, original->rawFeaturePoints);
        ASSERT_EQ(again.anchors.size(), 1u);
        EXPECT_EQ(again.anchors.front()->identifier(), original->anchors.front()->identifier());
        EXPECT_EQ(again.capturedImage->width(), original->capturedImage->width());
    }
}

}  // namespace
}  // namespace vantrel
