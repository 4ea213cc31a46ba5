// The render context: uploads once per mesh and image, drops what is gone, leaks nothing.

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/RenderSurface.hpp"

namespace vantrel {
namespace {

using namespace render_test;

TEST(RenderContext, UploadsEachMeshAndImageOnceAndDropsThemWhenTheyAreGone) {
    LitScene lit;
    auto shared = SCNBox::make(0.5f, 0.5f, 0.5f);
    auto material = SCNMaterial::make();
    material->diffuse().setContents(UIImage::filled(UIColor(0.2, 0.6, 0.2), 4, 4));
    shared->setFirstMaterial(material);
    for (int i = 0; i < 3; ++i) {
        auto node = SCNNode::make(shared);
        node->setPosition({static_cast<float>(i) - 1.0f, 0.0f, 0.0f});
        lit.scene->rootNode()->addChildNode(node);
    }
    auto view = makeView(lit, 64, 48);
    ASSERT_FALSE(view->draw().has_value());
    ASSERT_FALSE(view->draw().has_value());
    auto context = view->renderContext();
    ASSERT_TRUE(context.hasValue());
    RenderContext& rc = **context;
    EXPECT_EQ(rc.resourceUsage().meshUploads, 1u);
    EXPECT_EQ(rc.resourceUsage().textureUploads, 1u);

    // A new geometry is uploaded once; a removed one is dropped at the next purge.
    auto extra = lit.add(SCNPlane::make(1.0f, 1.0f), UIColor(1, 1, 1));
    ASSERT_FALSE(view->draw().has_value());
    EXPECT_EQ(rc.resourceUsage().meshUploads, 2u);
    EXPECT_EQ(rc.resourceUsage().cachedMeshes, 2u);
    extra->removeFromParentNode();
    extra.reset();
    rc.purge();
    EXPECT_EQ(rc.resourceUsage().cachedMeshes, 1u);

    // Releasing everything leaves no GL object alive; the next frame makes what it needs again.
    const std::size_t live = rc.resourceUsage().liveObjects;
    EXPECT_GT(live, 0u);
    rc.releaseAll();
    EXPECT_EQ(rc.resourceUsage().liveObjects, 0u);
    ASSERT_FALSE(view->draw().has_value());
    EXPECT_GT(rc.resourceUsage().liveObjects, 0u);
    EXPECT_LE(rc.resourceUsage().liveObjects, live);
}

TEST(RenderContext, StatisticsCountTheFrameAndAreDrawnOverThePictureWhenShown) {
    LitScene lit;
    lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 1, 1));
    auto view = makeView(lit, 200, 100);
    view->setBackgroundColor(UIColor::blackColor());
    auto plain = picture(*view, "statistics_off");
    ASSERT_TRUE(plain);
    // The box: six faces of two triangles, one element each. The picture needs no pass of its own.
    EXPECT_EQ(view->statistics().triangles, 12u);
    EXPECT_EQ(view->statistics().drawCalls, 6u);

    view->setShowsStatistics(true);
    auto shown = picture(*view, "statistics_on");
    ASSERT_TRUE(shown);
    int lit_pixels = 0;
    for (int y = shown->height() - 16; y < shown->height(); ++y) {
        for (int x = 0; x < 60; ++x) {
            lit_pixels += pixelAt(*shown, x, y).r > 200 && pixelAt(*plain, x, y).r < 50 ? 1 : 0;
        }
    }
    EXPECT_GT(lit_pixels, 20);
}

TEST(RenderContext, TwoViewsDrawIndependentlyInOneProcess) {
    LitScene first;
    first.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
    LitScene second;
    second.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(0, 0, 1), SCNLightingModel::constant);
    auto a = makeView(first, 32, 32);
    auto b = makeView(second, 32, 32);
    a->setToneMapping(SCNToneMapping::none);  // exact colours
    b->setToneMapping(SCNToneMapping::none);
    auto imageA = a->snapshot();
    auto imageB = b->snapshot();
    ASSERT_TRUE(imageA.hasValue() && imageB.hasValue());
    EXPECT_TRUE(near(pixelAt(**imageA, 16, 16), 255, 0, 0, 1));
    EXPECT_TRUE(near(pixelAt(**imageB, 16, 16), 0, 0, 255, 1));
    b.reset();  // its context goes; the other keeps drawing
    imageA = a->snapshot();
    ASSERT_TRUE(imageA.hasValue());
    EXPECT_TRUE(near(pixelAt(**imageA, 16, 16), 255, 0, 0, 1));
}

}  // namespace
}  // namespace vantrel
