// The facade: fatal configuration faults, option rules, settings and the once-only start.
// initialize() acts once per process, so every case that calls it runs in a child process
// (a death test whose child reports through its exit code).

#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/VantrelSDK.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

using vantrel::SdkInitializeOption;
using vantrel::SdkVariant;
using vantrel::VantrelSDK;

namespace {

/// A resource bundle made for one test, holding `info` as its Info.json (nothing when empty).
std::filesystem::path makeBundle(const std::string& name, const std::string& info) {
    auto dir = std::filesystem::temp_directory_path() / ("vantrel-bundle-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    if (!info.empty()) std::ofstream(dir / "Info.json") << info;
    return dir;
}

std::string validInfo(const std::string& server = "localhost:28443/parse") {
    return R"({"CFBundleShortVersionString":"2.4.1","CFBundleVersion":"57","Config":{"VantrelServer":")" + server +
           R"(","VantrelApplicationId":"app","VantrelClientKey":"key"}})";
}

/// Matches `text` literally in a death-test regular expression.
std::string literally(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

/// Runs in the child: prints what differs and exits with 1, or exits with 0 when all held.
#define CHILD_EXPECT(condition)                                           \
    do {                                                                  \
        if (!(condition)) {                                               \
            std::fprintf(stderr, "child check failed: %s\n", #condition); \
            std::exit(1);                                                 \
        }                                                                 \
    } while (false)

std::string allLogText() {
    std::string text;
    for (const auto& data : VantrelSDK::fileLogger().logFileDataArray()) text.append(data.begin(), data.end());
    return text;
}

std::size_t count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto pos = haystack.find(needle); pos != std::string::npos; pos = haystack.find(needle, pos + 1)) ++n;
    return n;
}

void initializeFrom(const std::filesystem::path& bundle, const vantrel::SdkInitializeOptions& options = {}) {
    vantrel::ResourceBundle::setSearchPath(bundle);
    VantrelSDK::initialize(options);
}

}  // namespace

using VantrelSDKDeathTest = testing::Test;

TEST(VantrelSDKDeathTest, StopsWithTheMessageOfTheFirstMissingPiece) {
    struct Case {
        std::string name, info, message;
    };
    const std::vector<Case> cases = {
        {"nobundle", "", "Unable to initialize due no SDK's Info.plist"},
        {"notjson", "not json", "Unable to initialize due no SDK's Info.plist"},
        {"empty", "{}", "Unable to initialize due no Config section in SDK's Info.plist"},
        {"noconfig", R"({"CFBundleVersion":"1"})", "Unable to initialize due no Config section in SDK's Info.plist"},
        {"configtext", R"({"Config":"x"})", "Unable to initialize due no Config section in SDK's Info.plist"},
        // A server of two blanks is reported before the missing application id.
        {"blankserver", R"({"Config":{"VantrelServer":"  "}})",
         "'Config/VantrelServer' (in SDK's Info.plist) must not be blank."},
        {"numberserver", R"({"Config":{"VantrelServer":5,"VantrelApplicationId":"a","VantrelClientKey":"k"}})",
         "'Config/VantrelServer' (in SDK's Info.plist) must not be blank."},
        {"noappid", R"({"Config":{"VantrelServer":"h","VantrelClientKey":"k"}})",
         "'Config/VantrelApplicationId' (in SDK's Info.plist) must not be blank."},
        {"blankkey", R"({"Config":{"VantrelServer":"h","VantrelApplicationId":"a","VantrelClientKey":"\n \t"}})",
         "'Config/VantrelClientKey' (in SDK's Info.plist) must not be blank."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bundle =
            c.name == "nobundle" ? std::filesystem::path("/nonexistent/vantrel-bundle") : makeBundle(c.name, c.info);
        EXPECT_DEATH(initializeFrom(bundle), literally(c.message));
    }
}

TEST(VantrelSDKDeathTest, AppliesOptionsByTheirTypeRules) {
    const auto bundle = makeBundle("options", validInfo("  spaced.example:1/parse "));
    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::variant, SdkVariant::B2C},
                                    {SdkInitializeOption::companyAuthToken, std::string("   ")},
                                    {SdkInitializeOption::dbAccessPeriod, 60},  // an integer: ignored
                                    {SdkInitializeOption::lightEstimateEnabled, std::any()},
                                    {SdkInitializeOption::debug3d, true},
                                    {SdkInitializeOption::debugLogging, std::string("yes")}});
            CHILD_EXPECT(VantrelSDK::isB2C() && !VantrelSDK::isB2B());
            CHILD_EXPECT(VantrelSDK::companyAuthToken().empty());
            CHILD_EXPECT(VantrelSDK::dbAccessPeriod() == 0.0);
            CHILD_EXPECT(VantrelSDK::lightEstimateEnabled());
            CHILD_EXPECT(VantrelSDK::debug3d());
            CHILD_EXPECT(!VantrelSDK::debugLogging());
            // The server keeps its blanks inside both URLs.
            CHILD_EXPECT(VantrelSDK::serverUrl() == "https://  spaced.example:1/parse ");
            CHILD_EXPECT(VantrelSDK::liveQueryServerUrl() == "wss://  spaced.example:1/parse ");
            CHILD_EXPECT(VantrelSDK::applicationId() == "app" && VantrelSDK::clientKey() == "key");
            CHILD_EXPECT(VantrelSDK::version() == "2.4.1B57");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");

    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::companyAuthToken, std::string(" token ")},
                                    {SdkInitializeOption::dbAccessPeriod, std::string("60")},
                                    {SdkInitializeOption::lightEstimateEnabled, false}});
            CHILD_EXPECT(VantrelSDK::companyAuthToken() == " token ");
            CHILD_EXPECT(VantrelSDK::dbAccessPeriod() == 0.0);
            CHILD_EXPECT(!VantrelSDK::lightEstimateEnabled());
            CHILD_EXPECT(VantrelSDK::isB2B());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(VantrelSDKDeathTest, ASecondInitializeChangesNothingAndLogsNoSecondBanner) {
    const auto bundle = makeBundle("twice", validInfo());
    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::dbAccessPeriod, 30.0}});
            VantrelSDK::initialize(
                {{SdkInitializeOption::variant, SdkVariant::B2C}, {SdkInitializeOption::dbAccessPeriod, 99.0}});
            CHILD_EXPECT(VantrelSDK::isInitialized());
            CHILD_EXPECT(VantrelSDK::isB2B());
            CHILD_EXPECT(VantrelSDK::dbAccessPeriod() == 30.0);
            const std::string log = allLogText();
            CHILD_EXPECT(count(log, "VantrelSDK v2.4.1B57") == 1);
            CHILD_EXPECT(log.find("\n\n---------------\nVantrelSDK v2.4.1B57\n---------------\n\n") !=
                         std::string::npos);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(VantrelSDKDeathTest, NetworkTrafficIsLoggedOnlyWithDebugLogging) {
    const auto bundle = makeBundle("netlog", validInfo());
    const auto postTraffic = [] {
        vantrel::HttpRequestRecord request{
            "POST", "https://h/parse/classes/A", {{"X-Parse-Application-Id", "app"}}, "{}"};
        vantrel::HttpResponseRecord response{200, "https://h/parse/classes/A", {}};
        auto& center = vantrel::NotificationCenter::defaultCenter();
        center.post(
            {vantrel::kNetworkWillSendURLRequestNotification, {}, {{vantrel::kNetworkRequestUserInfoKey, request}}});
        center.post({vantrel::kNetworkDidReceiveURLResponseNotification,
                     {},
                     {{vantrel::kNetworkResponseUserInfoKey, response},
                      {vantrel::kNetworkResponseBodyUserInfoKey, std::string("{\"ok\":1}")}}});
        // A request of the wrong type is ignored.
        center.post({vantrel::kNetworkWillSendURLRequestNotification, {}, {{vantrel::kNetworkRequestUserInfoKey, 5}}});
    };
    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::debugLogging, true}});
            postTraffic();
            const std::string log = allLogText();
            CHILD_EXPECT(
                log.find("REQUEST: [POST] https://h/parse/classes/A\n    Headers: [\"X-Parse-Application-Id\": "
                         "\"app\"]\n    Body: {}") != std::string::npos);
            CHILD_EXPECT(
                log.find("RESPONSE: [200] https://h/parse/classes/A\n    Headers: [:]\n    Body: {\"ok\":1}") !=
                std::string::npos);
            CHILD_EXPECT(count(log, "REQUEST:") == 1);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::debugLogging, false}});
            postTraffic();
            CHILD_EXPECT(allLogText().find("REQUEST:") == std::string::npos);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(VantrelSDKDeathTest, TheCachePolicyFollowsTheAccessPeriod) {
    const auto bundle = makeBundle("period", validInfo());
    EXPECT_EXIT(
        {
            initializeFrom(bundle, {{SdkInitializeOption::dbAccessPeriod, 3600.0}});
            CHILD_EXPECT(VantrelSDK::cachePolicyForQuery("ComponentService") == 2);  // first query: network
            CHILD_EXPECT(VantrelSDK::lastDbAccessTime("ComponentService") > 0);
            CHILD_EXPECT(VantrelSDK::cachePolicyForQuery("ComponentService") == 3);  // within the period
            VantrelSDK::setLastDbAccessTime("ComponentService", 0);                  // forced refresh
            CHILD_EXPECT(VantrelSDK::cachePolicyForQuery("ComponentService") == 2);
            CHILD_EXPECT(VantrelSDK::cachePolicyForQuery("NotAService") == 2);  // never stamped
            CHILD_EXPECT(VantrelSDK::cachePolicyForQuery("NotAService") == 2);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(VantrelSDK, VersionJoinsNameAndBuildNumber) {
    const auto savedName = VantrelSDK::versionName();
    const auto savedBuild = VantrelSDK::versionBuildNumber();
    VantrelSDK::setVersionName("2.4.1");
    VantrelSDK::setVersionBuildNumber("57");
    EXPECT_EQ(VantrelSDK::version(), "2.4.1B57");
    VantrelSDK::setVersionBuildNumber(std::nullopt);
    EXPECT_EQ(VantrelSDK::version(), "2.4.1");
    VantrelSDK::setVersionName(std::nullopt);
    VantrelSDK::setVersionBuildNumber("12");
    EXPECT_EQ(VantrelSDK::version(), "B12");
    VantrelSDK::setVersionBuildNumber(std::nullopt);
    EXPECT_EQ(VantrelSDK::version(), "");
    VantrelSDK::setVersionName(savedName);
    VantrelSDK::setVersionBuildNumber(savedBuild);
}

TEST(VantrelSDK, RootGroupIsBlankOrASingleSlash) {
    EXPECT_TRUE(VantrelSDK::isRootGroup(""));
    EXPECT_TRUE(VantrelSDK::isRootGroup(" \n\t\n "));
    EXPECT_TRUE(VantrelSDK::isRootGroup("/"));
    EXPECT_FALSE(VantrelSDK::isRootGroup(" / "));
    EXPECT_FALSE(VantrelSDK::isRootGroup("/sofas"));
    EXPECT_FALSE(VantrelSDK::isRootGroup("//"));
}

TEST(VantrelSDK, RegistryKnowsExactlyTheTenServices) {
    EXPECT_EQ(VantrelSDK::lastDbAccessTime("NoSuchService"), 0.0);
    VantrelSDK::setLastDbAccessTime("NoSuchService", 123.0);
    EXPECT_EQ(VantrelSDK::lastDbAccessTime("NoSuchService"), 0.0);
    for (const char* name : {"UnsupportedAppVersionService", "AuthService", "CompanyService", "CatalogService",
                             "ComponentService", "AnchorObjectService", "MaterialService", "AppListItemService",
                             "SceneService", "ModelMeasuringUnitService"}) {
        SCOPED_TRACE(name);
        VantrelSDK::setLastDbAccessTime(name, 42.5);
        // Writes are asynchronous on the registry's serial queue; a read queued after them sees them.
        EXPECT_EQ(VantrelSDK::lastDbAccessTime(name), 42.5);
        VantrelSDK::setLastDbAccessTime(name, 0);
    }
}

TEST(VantrelSDK, QueuesAreSerialAndLabelled) {
    EXPECT_TRUE(VantrelSDK::lifecycleQueue().label().starts_with("VantrelSDKLifeCycleQueue_"));
    EXPECT_EQ(VantrelSDK::lifecycleQueue().label().size(), std::string("VantrelSDKLifeCycleQueue_").size() + 36);
    EXPECT_TRUE(VantrelSDK::lastDbAccessQueue().label().starts_with("LastDbAccesDispatchQueue__"));
    EXPECT_TRUE(VantrelSDK::lifecycleQueue().isSerial());
    EXPECT_EQ(&VantrelSDK::lifecycleQueue(), &VantrelSDK::lifecycleQueue());
}
