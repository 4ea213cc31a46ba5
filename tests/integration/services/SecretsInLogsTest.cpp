// Debug logging against the reference backend, everything switched on the way a host debugging a
// problem would: the log files may show what happened, never a credential. Reads every log file
// after a sign-in, a save, the live subscriptions and a signed download.

#include "core/SdkState.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace vantrel {
namespace {

using nlohmann::json;

class SecretsInLogsTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        logs_ = std::filesystem::temp_directory_path() / uniqueName("secret-logs");
        cache_ = std::filesystem::temp_directory_path() / uniqueName("secret-cache");
        previousLogs_ = sharedFileLogger().logsDirectory();
        sharedFileLogger().setLogsDirectory(logs_);
        { const test::LogCapture installsTheLoggers; }  // once per process, at the info level...
        setUpLoggers(LogLevel::debug);                  // ...which this test raises
        previousParseLevel_ = Parse::logLevel();
        Parse::setLogLevel(4);
        detail::sdkState().debugLogging = true;
        observers_.emplace_back(NotificationCenter::defaultCenter(), kNetworkWillSendURLRequestNotification,
                                &VantrelSDK::onWillSendParseURLRequest);
        observers_.emplace_back(NotificationCenter::defaultCenter(), kNetworkDidReceiveURLResponseNotification,
                                &VantrelSDK::onDidReceiveParseURLResponse);
        DownloadingService::sharedInstance().setLocalCacheHome(cache_);
        installLiveQueryClient();
        LiveQueryClient::shared()->setShouldPrintWebSocketLog(true);
        LiveQueryClient::shared()->setShouldPrintWebSocketTrace(true);
    }

    void TearDown() override {
        ServicesBackendFixture::TearDown();
        LiveQueryClient::setShared(nullptr);
        observers_.clear();
        detail::sdkState().debugLogging = false;
        Parse::setLogLevel(previousParseLevel_);
        setUpLoggers(LogLevel::info);
        sharedFileLogger().setLogsDirectory(previousLogs_);
        std::error_code ignored;
        std::filesystem::remove_all(logs_, ignored);
        std::filesystem::remove_all(cache_, ignored);
    }

    std::filesystem::path logs_, cache_, previousLogs_;
    int previousParseLevel_ = 0;
    std::vector<ScopedObserver> observers_;
};

TEST_F(SecretsInLogsTest, DebugLogsOfSignInSaveSubscriptionsAndADownloadHoldNoCredential) {
    const auto data = seedCompany();
    const auto& employee = data["employee"];
    const std::string password = employee["password"];
    const test::LogCapture log;

    signInAs(employee);
    const auto user = ParseUser::currentUser();
    ASSERT_TRUE(user && user->sessionToken());
    const std::string token = *user->sessionToken();
    ASSERT_TRUE(test::eventually([&] { return log.count(" - subscribed.") >= 1; })) << "no subscription opened";

    // A save (refused or not, its request carries the session).
    auto component = ParseObject::create("Component");
    component->set("catalog", ParseObject::createWithoutData("Catalog", data["catalog"]));
    component->set("name", uniqueName("secret"));
    (void)save(component);

    // A signed download: the cloud function's answer and the transfer's lines quote the URL.
    const std::string key = uniqueName("secret-files") + "/file.bin";
    const auto upload = logs_.parent_path() / (logs_.filename().string() + ".bin");
    std::ofstream(upload, std::ios::binary) << std::string(4096, 'x');
    ASSERT_EQ(test::runCommand({"node", "backend/tools/seed.mjs", "upload", key, upload.string()}).exitCode, 0);
    std::filesystem::remove(upload);
    bool downloaded = false;
    DownloadingService::sharedInstance().obtainFileFromLocalCache(
        key, true, [&](std::optional<std::filesystem::path> url, OptionalError error) { downloaded = url && !error; },
        {});
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return downloaded; }, std::chrono::seconds(60)));

    sharedFileLogger().flush();
    std::string all;
    for (const auto& file : sharedFileLogger().sortedLogFilePaths()) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        all += text.str();
    }
    // The logs did record the traffic, credentials withheld.
    ASSERT_NE(all.find("Parse request: POST"), std::string::npos);
    ASSERT_NE(all.find("REQUEST: [POST]"), std::string::npos);
    ASSERT_NE(all.find("LiveQuery sent:"), std::string::npos);
    ASSERT_NE(all.find("METRIC [downloading] END"), std::string::npos);
    for (const auto& [what, secret] : std::vector<std::pair<std::string, std::string>>{{"password", password},
                                                                                       {"session token", token},
                                                                                       {"client key", env().clientKey},
                                                                                       {"signature", "signature="},
                                                                                       {"signed expiry", "expires="}}) {
        EXPECT_EQ(all.find(secret), std::string::npos) << "the log files show the " << what;
    }
}

}  // namespace
}  // namespace vantrel
