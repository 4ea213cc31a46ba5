// Models placed in AR cast their shadows onto the detected floor: the camera's picture shows through
// the floor's shadow catcher unchanged except where the shadow darkens it.

#include <gtest/gtest.h>

#include "ArAdapterTestSupport.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNScene.hpp"

namespace vantrel {
namespace {

using ar_adapter_test::Stage;
using canvas_test::boxModel;

TEST(ArPlaneShadow, AModelOnTheDetectedFloorDarkensTheCameraPictureUnderItAndNowhereElse) {
    Stage stage(ar_test::boardRecording());
    stage.adapter->runArSession(false);
    stage.play();
    ASSERT_TRUE(stage.adapter->firstPlaneDetected());
    ASSERT_FALSE(stage.adapter->planeNodesHorizontal().empty());
    for (const auto& plane : stage.adapter->planeNodesHorizontal()) {
        const auto catcher = plane->childNodeWithName("ArAdapter.shadowCatcher", false);
        ASSERT_TRUE(catcher && catcher->geometry());
        EXPECT_EQ(catcher->geometry()->firstMaterial()->lightingModel(), SCNLightingModel::shadowOnly);
        EXPECT_FALSE(catcher->castsShadow());
    }
    const auto folder = ar_test::outputFolder("plane-shadow");
    ASSERT_FALSE(stage.view->writeSnapshot(folder / "bare.png"));
    const auto model = boxModel("m", "sofa", {0.12f, 0.08f, 0.06f});
    auto red = SCNMaterial::make();
    red->diffuse().setContents(UIColor(0.8, 0.1, 0.1));
    model->contentNode()->childNodes().front()->geometry()->setFirstMaterial(red);
    stage.adapter->addModel(model);
    ASSERT_FALSE(stage.view->writeSnapshot(folder / "placed.png"));
    const auto bare = UIImage::fromFile(folder / "bare.png");
    const auto placed = UIImage::fromFile(folder / "placed.png");
    ASSERT_TRUE(bare && placed);

    // Outside the box (not red), a pixel is either the camera's as it was, or the same colour darker.
    const auto& before = bare->rgba();
    const auto& after = placed->rgba();
    int darkened = 0;
    int unchanged = 0;
    int otherwise = 0;
    for (std::size_t i = 0; i + 3 < after.size(); i += 4) {
        if (after[i] - after[i + 1] > 40) continue;  // the box
        const int drop = before[i] + before[i + 1] + before[i + 2] - after[i] - after[i + 1] - after[i + 2];
        if (drop <= 3) {
            ++unchanged;
        } else if (drop >= 30 && after[i] <= before[i] && after[i + 1] <= before[i + 1] &&
                   after[i + 2] <= before[i + 2]) {
            ++darkened;
        } else {
            ++otherwise;
        }
    }
    const int pixels = bare->width() * bare->height();
    EXPECT_GT(darkened, 40) << "a visible shadow";
    EXPECT_GT(unchanged, pixels * 9 / 10) << "the rest of the picture as the camera took it";
    EXPECT_LT(otherwise, darkened) << "the shadow's soft edge, and nothing else";
}

}  // namespace
}  // namespace vantrel
