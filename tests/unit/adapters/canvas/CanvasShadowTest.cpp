// A product on the canvas casts its key light's shadow onto the ground in every scene environment.

#include <gtest/gtest.h>

#include "CanvasTestSupport.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/UIImage.hpp"
#include "vantrel/render/SCNView.hpp"
#include "support/TestPaths.hpp"

namespace vantrel {
namespace {

using canvas_test::boxModel;
using canvas_test::Canvas;

TEST(CanvasShadow, TheKeyLightCastsTheProductsShadowOntoTheGroundInEveryEnvironment) {
    const auto folder = vantrel::test::binaryDirectory() / "test-output" / "canvas-shadow";
    std::filesystem::create_directories(folder);
    for (const auto environment : {SceneEnvironment::basicLight, SceneEnvironment::basicDark, SceneEnvironment::studio}) {
        const std::string name = environment == SceneEnvironment::studio      ? "studio"
                                 : environment == SceneEnvironment::basicDark ? "basic-dark"
                                                                              : "basic-light";
        SCOPED_TRACE(name);
        Canvas canvas;
        canvas.adapter->setSceneEnvironment(environment);
        canvas.adapter->setGroundEnabled(true);
        auto model = boxModel("m", "sofa", {1.0f, 0.8f, 0.6f});
        auto material = SCNMaterial::make();
        material->diffuse().setContents(UIColor(0.2, 0.3, 0.7));
        model->contentNode()->childNodes().front()->geometry()->setFirstMaterial(material);
        canvas.adapter->addModel(model);
        canvas.adapter->focusToCenter(false, true, true);
        canvas_test::drainMain();

        // Exactly one light casts: the key light.
        const auto casting = canvas.view->scene()->rootNode()->childNodesPassingTest(
            [](const SCNNode& node, bool&) { return node.light() && node.light()->castsShadow(); });
        ASSERT_EQ(casting.size(), 1u);
        const auto key = casting.front()->light();

        const auto shadowed = canvas.view->snapshot();
        key->setCastsShadow(false);
        const auto plain = canvas.view->snapshot();
        ASSERT_TRUE(shadowed.hasValue() && plain.hasValue());
        EXPECT_FALSE(writePNG(**shadowed, folder / (name + ".png")));
        EXPECT_FALSE(writePNG(**plain, folder / (name + "-without.png")));

        // The shadow darkens a patch of the picture and brightens nothing.
        const auto& with = (*shadowed)->rgba();
        const auto& without = (*plain)->rgba();
        int darker = 0;
        int brighter = 0;
        for (std::size_t i = 0; i + 3 < with.size(); i += 4) {
            const int drop = without[i] + without[i + 1] + without[i + 2] - with[i] - with[i + 1] - with[i + 2];
            darker += drop >= 15 ? 1 : 0;
            brighter += drop <= -6 ? 1 : 0;
        }
        const int pixels = (*shadowed)->width() * (*shadowed)->height();
        EXPECT_GT(darker, pixels / 100) << "a visible shadow";
        EXPECT_LT(brighter, pixels / 1000);
    }
}

}  // namespace
}  // namespace vantrel
