// Whether a session can track on this machine, and the adapter's answer when it cannot.

#include <gtest/gtest.h>

#include "ArAdapterTestSupport.hpp"
#include "vantrel/core/Strings.hpp"

namespace vantrel {
namespace {

using ar_adapter_test::Stage;

ARMarkerSession::Options withCamera(bool present, int* asked = nullptr) {
    ARMarkerSession::Options options;
    options.hasCamera = [present, asked] {
        if (asked != nullptr) ++*asked;
        return present;
    };
    return options;
}

TEST(ARSessionSupportTest, AMarkerSessionIsSupportedOnlyWhereItsCameraCanBeHad) {
    int asked = 0;
    EXPECT_TRUE(ARMarkerSession(withCamera(true, &asked)).isSupported());
    EXPECT_FALSE(ARMarkerSession(withCamera(false, &asked)).isSupported());
    EXPECT_EQ(asked, 2);

    // A camera that cannot be opened, whatever devices the machine lists.
    ARMarkerSession noSuchCamera(withCamera(true));
    EXPECT_TRUE(noSuchCamera.openCamera(99).has_value());
    EXPECT_FALSE(noSuchCamera.isSupported());

    // A recording that opened does not need a camera; one that did not open changes nothing.
    ARMarkerSession video(withCamera(false));
    EXPECT_TRUE(video.openVideo(ar_test::outputFolder() / "no-such-video.mp4").has_value());
    EXPECT_FALSE(video.isSupported());
}

TEST(ARSessionSupportTest, TheAdapterReportsAnUnsupportedDeviceInsteadOfRunningASessionWithoutCamera) {
    Stage stage("support", nlohmann::json::array({ar_adapter_test::frame(0.0)}));
    EXPECT_TRUE(stage.session->isSupported()) << "a recording that opened plays anywhere";

    auto session = std::make_shared<ARMarkerSession>(withCamera(false));
    stage.view->setSession(session);
    stage.delegate->take();
    stage.adapter->runArSession(false);
    stage.settle();
    EXPECT_EQ(stage.delegate->take(),
              (std::vector<std::string>{"error " + Strings::localized("ar_error_unsupported_device")}));
    EXPECT_FALSE(session->isRunning());

    // With a camera present the same call runs the session.
    auto supported = std::make_shared<ARMarkerSession>(withCamera(true));
    stage.view->setSession(supported);
    stage.adapter->runArSession(false);
    stage.settle();
    EXPECT_TRUE(supported->isRunning());
    const auto calls = stage.delegate->take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "started");
}

}  // namespace
}  // namespace vantrel
