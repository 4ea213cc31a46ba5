#include "adapters/ar/PlaneHitTest.hpp"

#include <gtest/gtest.h>

#include "ArTestSupport.hpp"
#include "vantrel/adapters/ARReplaySession.hpp"
#include "vantrel/adapters/ARSCNView.hpp"

namespace vantrel {
namespace {

using nlohmann::json;
using Alignments = std::vector<ARPlaneAnchorAlignment>;

// The camera stands 1.5 m above the floor at the origin and looks 45° down towards −Z, so the ray
// through the view's centre meets the floor at (0, 0, −1.5) and a wall at z = −d at height 1.5 − d.
glm::mat4 lookingDown() {
    const float c = std::sqrt(0.5f);
    glm::mat4 pose(1.0f);
    pose[1] = glm::vec4(0.0f, c, -c, 0.0f);
    pose[2] = glm::vec4(0.0f, c, c, 0.0f);
    pose[3] = glm::vec4(0.0f, 1.5f, 0.0f, 1.0f);
    return pose;
}

json plane(const std::string& id, const std::string& alignment, const glm::mat4& transform, float width, float length) {
    return {{"identifier", id},
            {"transform", ar_test::numbers(transform)},
            {"plane", {{"alignment", alignment}, {"center", {0, 0, 0}}, {"extent", {width, 0, length}}}}};
}

json floorAt(float x, float z, float size) {
    return plane("floor", "horizontal", glm::translate(glm::mat4(1.0f), glm::vec3(x, 0.0f, z)), size, size);
}

// A wall across the view at z = −distance: its local Y (the normal) points back at the camera.
json wallAt(float distance) {
    glm::mat4 wall = glm::rotate(glm::mat4(1.0f), static_cast<float>(M_PI / 2), glm::vec3(1.0f, 0.0f, 0.0f));
    wall[3] = glm::vec4(0.0f, 0.0f, -distance, 1.0f);
    return plane("wall", "vertical", wall, 4.0f, 4.0f);
}

// Surface points a few millimetres around the spot where the centre ray meets the floor or a wall.
json floorPoints() { return json::array({{0.01, 0.0, -1.5}, {-0.01, 0.0, -1.49}, {0.0, 0.0, -1.51}}); }
json wallPoints(float distance) {
    const float y = 1.5f - distance;
    return json::array({{0.01, y, -distance}, {-0.01, y + 0.01, -distance}, {0.0, y - 0.01, -distance}});
}

json concat(json a, const json& b) {
    for (const auto& item : b) a.push_back(item);
    return a;
}

struct Stage {
    std::shared_ptr<ARReplaySession> session;
    ARSCNView view{CGRect(0, 0, 320, 240)};

    Stage(const std::string& name, const json& anchors, const json& points) {
        const json frame{{"timestamp", 0.0},
                         {"camera",
                          {{"transform", ar_test::numbers(lookingDown())},
                           {"intrinsics", ar_test::numbers(ARCamera::intrinsicsFor(CGSize(320, 240), 60.0))},
                           {"imageResolution", {320, 240}}}},
                         {"featurePoints", points},
                         {"addedAnchors", anchors}};
        auto opened = ARReplaySession::open(ar_test::writeRecording(ar_test::outputFolder("hit-" + name), json{frame}));
        EXPECT_TRUE(opened.hasValue()) << (opened ? "" : opened.error().description());
        session = *opened;
        view.setSession(session);
        session->runWithConfiguration({});
        session->advance();
    }

    // Placement's search: horizontal planes only, bounded first, then infinite.
    std::optional<ARHitTestResult> placement() const {
        const CGPoint centre(160, 120);
        auto hit = detail::planeHitTest(view, centre, false, std::nullopt, {ARPlaneAnchorAlignment::horizontal});
        return hit ? hit : detail::planeHitTest(view, centre, true, std::nullopt, {ARPlaneAnchorAlignment::horizontal});
    }
};

TEST(ARPlaneHitTestTest, PlacementFindsOnlyHorizontalSurfacesWhateverVerticalPlanesExist) {
    const struct {
        const char* name;
        json anchors;
        json points;
        std::optional<ARHitTestResultType> found;  // nothing: placement fails
        float y;
    } cases[] = {
        {"nothing", json::array(), json::array(), std::nullopt, 0.0f},
        {"walls-only", json::array({wallAt(1.0f)}), wallPoints(1.0f), std::nullopt, 0.0f},
        {"floor-under-centre", json::array({wallAt(1.0f), floorAt(0.0f, -1.5f, 1.0f)}), json::array(),
         ARHitTestResultType::existingPlaneUsingGeometry, 0.0f},
        {"floor-elsewhere", json::array({floorAt(3.0f, 3.0f, 1.0f)}), json::array(), ARHitTestResultType::existingPlane,
         0.0f},
        {"estimated-floor", json::array({wallAt(1.0f)}), concat(wallPoints(1.0f), floorPoints()),
         ARHitTestResultType::estimatedHorizontalPlane, 0.0f},
    };
    for (const auto& c : cases) {
        Stage stage(c.name, c.anchors, c.points);
        const auto hit = stage.placement();
        ASSERT_EQ(hit.has_value(), c.found.has_value()) << c.name;
        if (!hit) continue;
        EXPECT_EQ(hit->type, *c.found) << c.name;
        EXPECT_NEAR(hit->worldTransform[3].y, c.y, 1e-4f) << c.name;
        EXPECT_NEAR(hit->worldTransform[3].z, -1.5f, 1e-4f) << c.name;
        EXPECT_NEAR(hit->distance, 1.5 * std::sqrt(2.0), 1e-4) << c.name;
    }
}

TEST(ARPlaneHitTestTest, TheNearerEstimatedPlaneWinsAndATieGoesToTheVerticalOne) {
    const struct {
        const char* name;
        float wallDistance;
        ARHitTestResultType winner;
    } cases[] = {
        {"wall-behind-floor-spot", 2.0f, ARHitTestResultType::estimatedHorizontalPlane},
        {"wall-before-floor-spot", 1.0f, ARHitTestResultType::estimatedVerticalPlane},
        {"wall-at-floor-spot", 1.5f, ARHitTestResultType::estimatedVerticalPlane},
    };
    for (const auto& c : cases) {
        Stage stage(c.name, json::array(), concat(floorPoints(), wallPoints(c.wallDistance)));
        const auto both = detail::planeHitTest(stage.view, CGPoint(160, 120), false, std::nullopt,
                                               {ARPlaneAnchorAlignment::horizontal, ARPlaneAnchorAlignment::vertical});
        ASSERT_TRUE(both.has_value()) << c.name;
        EXPECT_EQ(both->type, c.winner) << c.name;
        // Allowed alone, each alignment gets its own estimate whatever the other's distance.
        const auto vertical = detail::planeHitTest(stage.view, CGPoint(160, 120), false, std::nullopt,
                                                   {ARPlaneAnchorAlignment::vertical});
        ASSERT_TRUE(vertical.has_value()) << c.name;
        EXPECT_EQ(vertical->type, ARHitTestResultType::estimatedVerticalPlane) << c.name;
        EXPECT_NEAR(vertical->worldTransform[3].z, -c.wallDistance, 1e-4f) << c.name;
    }
}

TEST(ARPlaneHitTestTest, AnInfiniteFloorHoldsAnObjectOnlyWithinFiveCentimetresOfItsHeight) {
    Stage stage("object-height", json::array({floorAt(3.0f, 3.0f, 1.0f)}), json::array());
    const struct {
        float objectY;
        bool found;
    } cases[] = {{0.0f, true}, {0.049f, true}, {-0.049f, true}, {0.051f, false}, {0.3f, false}};
    for (const auto& c : cases) {
        const auto hit = detail::planeHitTest(stage.view, CGPoint(160, 120), true, SCNVector3(0.0f, c.objectY, 0.0f),
                                              {ARPlaneAnchorAlignment::horizontal});
        EXPECT_EQ(hit.has_value(), c.found) << c.objectY;
    }
}

}  // namespace
}  // namespace vantrel
