// The window path: a GLFW window on a virtual X server (Xvfb) started by the test.

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "support/VirtualDisplay.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/RenderSurface.hpp"

namespace vantrel {
namespace {

using namespace render_test;

TEST(WindowSurface, AViewDrawsIntoAWindowOnAVirtualDisplay) {
    test::VirtualDisplay server;
    if (server.display().empty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const char* previous = std::getenv("DISPLAY");
    const std::string saved = previous ? previous : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    {
        auto surface = WindowSurface::make(96, 64, "window test");
        ASSERT_TRUE(surface.hasValue()) << surface.error().description();
        EXPECT_FALSE((*surface)->isOffscreen());
        EXPECT_EQ((*surface)->drawableSize(), CGSize(96, 64));
        auto context = RenderContext::make(std::move(surface).value());
        ASSERT_TRUE(context.hasValue()) << context.error().description();

        LitScene lit;
        lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
        SCNView view(CGRect(0, 0, 96, 64), std::move(context).value());
        view.setScene(lit.scene);
        view.setPointOfView(lit.camera);
        view.setToneMapping(SCNToneMapping::none);  // the box's exact red
        view.setBackgroundColor(UIColor::blackColor());
        ASSERT_FALSE(view.draw().has_value());
        EXPECT_FALSE(view.needsDisplay());
        auto image = view.snapshot();
        ASSERT_TRUE(image.hasValue());
        EXPECT_TRUE(near(pixelAt(**image, 48, 32), 255, 0, 0, 1));
        EXPECT_TRUE(near(pixelAt(**image, 2, 2), 0, 0, 0, 1));
    }
    if (saved.empty()) {
        unsetenv("DISPLAY");
    } else {
        setenv("DISPLAY", saved.c_str(), 1);
    }
}

}  // namespace
}  // namespace vantrel
