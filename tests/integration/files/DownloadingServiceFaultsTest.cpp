// Answers the reference backend never gives: a scripted server stands in for the backend's
// functions and file route.

#include "support/BackendFakeHttpServer.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace std::chrono_literals;
using vantrel::DownloadingService;
using vantrel::MainRunLoop;
using vantrel::test::FakeHttpServer;

namespace {
class DownloadingServiceFaults : public testing::Test {
protected:
    void SetUp() override {
        server.setHandler([this](const vantrel::test::FakeHttpRequest& request) { return answer(request); });
        vantrel::ParseClientConfiguration configuration;
        configuration.server = server.url() + "/parse";
        configuration.applicationId = "test";
        configuration.persistenceDirectory =
            (std::filesystem::temp_directory_path() / ("vantrel-faults-" + std::to_string(::getpid()))).string();
        vantrel::Parse::initialize(configuration);
        home = std::filesystem::path(configuration.persistenceDirectory) / "cache";
        DownloadingService::sharedInstance().setLocalCacheHome(home);
        local = std::filesystem::path(configuration.persistenceDirectory) / "local.txt";
        std::filesystem::create_directories(local.parent_path());
        std::ofstream(local) << "payload";
    }
    void TearDown() override {
        vantrel::Parse::initialize({});
        std::filesystem::remove_all(local.parent_path());
    }

    /// Cloud functions answer `functionResult`; anything else answers `fileStatus` with `fileBody`.
    std::string answer(const vantrel::test::FakeHttpRequest& request) {
        if (request.target.find("/parse/functions/") == 0)
            return FakeHttpServer::response(200, nlohmann::json{{"result", functionResult}}.dump());
        return FakeHttpServer::response(fileStatus, fileBody, "text/plain");
    }

    std::size_t fileRequests() const {
        std::size_t n = 0;
        for (const auto& r : server.requests())
            if (r.target.find("/parse/") != 0) ++n;
        return n;
    }

    vantrel::OptionalError upload() {
        std::optional<vantrel::OptionalError> result;
        DownloadingService::sharedInstance().upload(local, "k/file.txt", [&](vantrel::OptionalError e) { result = e; });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return result.has_value(); }, 30s));
        return result.value_or(vantrel::OptionalError{});
    }

    FakeHttpServer server;
    nlohmann::json functionResult;
    int fileStatus = 200;
    std::string fileBody;
    std::filesystem::path home;
    std::filesystem::path local;
};
}  // namespace

TEST_F(DownloadingServiceFaults, AnUploadAnswerWithoutContentTypeFailsBeforeAnyTransfer) {
    functionResult = {{"signedUrl", server.url() + "/put"}, {"filePath", "k/file.txt"}};
    const auto error = upload();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo.value("messageKey", ""), "downloadingService_error_upload_bad_response");
    EXPECT_EQ(fileRequests(), 0u);
}

TEST_F(DownloadingServiceFaults, AnUploadRefusedByTheFileRouteCarriesItsStatus) {
    functionResult = {{"signedUrl", server.url() + "/put"}, {"filePath", "k/file.txt"}, {"contentType", "text/plain"}};
    fileStatus = 403;
    fileBody = "signature mismatch";
    const auto error = upload();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo.value("messageKey", ""), "downloadingService_error_upload_error_response");
    EXPECT_NE(error->message.find("403"), std::string::npos);
    ASSERT_EQ(fileRequests(), 1u);
    const auto put = server.requests().back();
    EXPECT_EQ(put.method, "PUT");
    EXPECT_EQ(put.headers.at("content-type"), "text/plain");
    EXPECT_EQ(put.body, "payload");
}

TEST_F(DownloadingServiceFaults, ASigningAnswerWithoutAUrlIsAnInternalError) {
    functionResult = {{"url", "elsewhere"}};
    std::optional<std::pair<std::optional<std::string>, vantrel::OptionalError>> answer;
    DownloadingService::sharedInstance().getDownloadingUrl("k", [&](auto url, auto error) { answer = {url, error}; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return answer.has_value(); }, 30s));
    EXPECT_FALSE(answer->first);
    ASSERT_TRUE(answer->second);
    EXPECT_EQ(answer->second->userInfo.value("messageKey", ""), "common_internal_error");
}

TEST_F(DownloadingServiceFaults, ATransferCutOffHalfWayLeavesNothingUnderTheKey) {
    functionResult = {{"signedUrl", server.url() + "/file"}};
    fileBody = std::string(64 * 1024, 'x');
    server.setMode(FakeHttpServer::Mode::closeMidResponse);
    std::optional<std::pair<std::optional<std::filesystem::path>, vantrel::OptionalError>> answer;
    DownloadingService::sharedInstance().obtainFileFromLocalCache("models/cut.zip", true, [&](auto url, auto error) {
        answer = {url, error};
    });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return answer.has_value(); }, 60s));
    EXPECT_FALSE(answer->first);
    EXPECT_TRUE(answer->second) << "a broken transfer is an error";
    EXPECT_FALSE(DownloadingService::sharedInstance().isExistsInLocalCache("models/cut.zip"));
    // No partial file anywhere in the cache.
    std::size_t files = 0;
    if (std::filesystem::exists(home))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) files += entry.is_regular_file();
    EXPECT_EQ(files, 0u);
}
