// The version gate against a scripted unsupported-version list.

#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include <gtest/gtest.h>

#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using Pairs = std::vector<std::pair<std::string, std::string>>;

class VersionGateTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        LiveQueryClient::setShared(nullptr);
        backend_.setRoute([this](const test::FakeParseRequest& request) -> std::optional<std::string> {
            if (request.path != "classes/UnsupportedAppVersion") return std::nullopt;
            if (failing_) return test::ServicesFakeBackend::error(500, 1, "list unavailable");
            const auto where = request.body.value("where", json::object());
            const bool listed = listed_.count({where.value("app", ""), where.value("version", "")}) > 0;
            return test::ServicesFakeBackend::results(listed ? json::array({{{"objectId", "v1"}}}) : json::array());
        });
    }

    bool gate(const std::optional<std::string>& appName, const std::optional<std::string>& appVersion) {
        test::Await<bool> done;
        UnsupportedAppVersionService::sharedInstance().checkAppVersions("3.1.0", appName, appVersion, done.setter());
        return done.get().value_or(false);
    }

    Pairs asked() const {
        Pairs pairs;
        for (const auto& request : backend_.requests("classes/UnsupportedAppVersion"))
            pairs.emplace_back(request.body["where"].value("app", ""), request.body["where"].value("version", ""));
        return pairs;
    }

    test::ScopedSdkSettings settings_;
    test::ServicesFakeBackend backend_;
    std::set<std::pair<std::string, std::string>> listed_;
    bool failing_ = false;
    test::NotificationCounter unsupported_{VantrelSDK::unsupportedAppVersionNotification};
};

TEST_F(VersionGateTest, TheLibraryIsAskedFirstAndAListedOneStopsTheGate) {
    EXPECT_FALSE(gate("Planner", "2.0"));
    EXPECT_FALSE(gate("Planner", std::nullopt)) << "without a host version only the library is checked";
    EXPECT_EQ(asked(), (Pairs{{"IOS_SDK", "3.1.0"}, {"Planner", "2.0"}, {"IOS_SDK", "3.1.0"}}));
    listed_.insert({"IOS_SDK", "3.1.0"});
    EXPECT_TRUE(gate("Planner", "2.0"));
    EXPECT_EQ(asked().size(), 4u) << "the host is not asked about once the library is refused";
    EXPECT_EQ(unsupported_.count(), 1u);
    EXPECT_TRUE(unsupported_.allWithoutObject());
}

TEST_F(VersionGateTest, AListedHostVersionIsUnsupported) {
    listed_.insert({"Planner", "2.0"});
    EXPECT_TRUE(gate("Planner", "2.0"));
    EXPECT_FALSE(gate("Planner", "2.1"));
    EXPECT_EQ(unsupported_.count(), 1u);
}

TEST_F(VersionGateTest, AnEmptyHostNameOrVersionIsUnsupportedWithoutAsking) {
    EXPECT_TRUE(gate("", "2.0"));
    EXPECT_TRUE(gate("Planner", ""));
    EXPECT_EQ(asked().size(), 2u) << "only the library's own version was asked about";
    EXPECT_EQ(unsupported_.count(), 2u);
}

TEST_F(VersionGateTest, AnUnreadableListCountsAsSupported) {
    test::LogCapture log;
    failing_ = true;
    EXPECT_FALSE(gate("Planner", "2.0"));
    EXPECT_EQ(log.count("Unable to obtain UnsupportedAppVersion by 'IOS_SDK' app and by '3.1.0' version due error: [1] "
                        "list unavailable"),
              1u);
    EXPECT_EQ(unsupported_.count(), 0u);
}

}  // namespace
}  // namespace vantrel
