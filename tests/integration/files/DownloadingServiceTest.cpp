// The file cache against the reference backend: signed URLs from its cloud functions, transfers
// from its signed file route.

#include "support/BackendFixture.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <thread>

using namespace std::chrono_literals;
using vantrel::DownloadingService;
using vantrel::FileData;
using vantrel::MainRunLoop;
using vantrel::ProgressStatus;

namespace {

using Report = std::pair<ProgressStatus, double>;

class DownloadingServiceBackend : public vantrel::test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        const auto company = seedCompany();
        logIn(company["employee"]["username"].get<std::string>(), company["employee"]["password"].get<std::string>());
        prefix = uniqueName("files") + "/";
        cache = std::filesystem::temp_directory_path() / ("vantrel-files-" + uniqueName("cache"));
        service().setLocalCacheHome(cache);
        scratch = cache.parent_path() / (cache.filename().string() + "-scratch");
        std::filesystem::create_directories(scratch);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(cache, ec);
        std::filesystem::remove_all(scratch, ec);
        BackendFixture::TearDown();
    }

    static DownloadingService& service() { return DownloadingService::sharedInstance(); }

    /// Random bytes of `size`, written to a scratch file and uploaded under `key` by the seed tool.
    FileData putOnServer(const std::string& key, std::size_t size) {
        FileData bytes(size);
        std::mt19937 random(static_cast<unsigned>(size));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        const auto path = scratch / "upload.bin";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const auto result = vantrel::test::runCommand({"node", "backend/tools/seed.mjs", "upload", key, path.string()});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return bytes;
    }

    static FileData read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    struct FileAnswer {
        bool called = false;
        std::optional<std::filesystem::path> url;
        vantrel::OptionalError error;
        std::vector<Report> reports;
    };

    FileAnswer obtainFile(const std::string& key) {
        auto answer = std::make_shared<FileAnswer>();
        service().obtainFileFromLocalCache(
            key, true,
            [answer](std::optional<std::filesystem::path> url, vantrel::OptionalError error) {
                EXPECT_TRUE(MainRunLoop::isMainThread()) << "transfers complete on the main queue";
                answer->called = true;
                answer->url = std::move(url);
                answer->error = std::move(error);
            },
            [answer](ProgressStatus s, double f) { answer->reports.emplace_back(s, f); });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return answer->called; }, 60s));
        return *answer;
    }

    std::string prefix;
    std::filesystem::path cache;
    std::filesystem::path scratch;
};

}  // namespace

TEST_F(DownloadingServiceBackend, DownloadsThroughASignedUrlInTwoEqualPhasesThenAnswersFromTheCache) {
    const std::string key = prefix + "models/sofa.zip";
    const auto bytes = putOnServer(key, 3 * 1024 * 1024);

    const auto answer = obtainFile("/" + key);
    ASSERT_FALSE(answer.error) << answer.error->description();
    ASSERT_TRUE(answer.url);
    EXPECT_EQ(*answer.url, cache / key);
    EXPECT_EQ(read(*answer.url), bytes);

    // (downloading, 0) at the start, 0.5 once the URL is there, the transfer's fraction mapped
    // into the second half, and (done, 1.0) right before the block.
    const auto& r = answer.reports;
    ASSERT_GE(r.size(), 4u);
    EXPECT_EQ(r[0], (Report{ProgressStatus::downloading, 0.0}));
    EXPECT_EQ(r[1], (Report{ProgressStatus::downloading, 0.5}));
    EXPECT_EQ(r.back(), (Report{ProgressStatus::done, 1.0}));
    EXPECT_EQ(r[r.size() - 2], (Report{ProgressStatus::downloading, 1.0}));
    for (std::size_t i = 1; i + 1 < r.size(); ++i) {
        EXPECT_EQ(r[i].first, ProgressStatus::downloading);
        EXPECT_GE(r[i].second, 0.5);
        EXPECT_GE(r[i].second, r[i - 1].second) << "progress never goes back";
    }
    // Nothing of the transfer is left beside the cached file.
    EXPECT_FALSE(std::filesystem::exists(cache / ".incoming") && !std::filesystem::is_empty(cache / ".incoming"));

    // A second request is a cache hit: answered at once, on this thread, with (done, 1.0).
    std::vector<Report> hitReports;
    std::optional<std::filesystem::path> hit;
    service().obtainFileFromLocalCache(
        key, true, [&](std::optional<std::filesystem::path> url, vantrel::OptionalError) { hit = url; },
        [&](ProgressStatus s, double f) { hitReports.emplace_back(s, f); });
    EXPECT_EQ(hit, cache / key);
    EXPECT_EQ(hitReports, (std::vector<Report>{{ProgressStatus::done, 1.0}}));
}

TEST_F(DownloadingServiceBackend, AMissingFileEndsWithNeitherUrlNorErrorAndWritesNothing) {
    const std::string key = prefix + "never/uploaded.png";
    const auto answer = obtainFile(key);
    EXPECT_FALSE(answer.url);
    EXPECT_FALSE(answer.error);
    ASSERT_FALSE(answer.reports.empty());
    EXPECT_EQ(answer.reports.back(), (Report{ProgressStatus::done, 1.0}));
    EXPECT_FALSE(service().isExistsInLocalCache(key));
}

TEST_F(DownloadingServiceBackend, PluralFormsGoOnPastAFailingKeyAndKeyResultsAsWritten) {
    const std::string good1 = prefix + "a.bin";
    const std::string good2 = prefix + "b.bin";
    const std::string missing = prefix + "missing.bin";
    const auto bytes1 = putOnServer(good1, 1000);
    const auto bytes2 = putOnServer(good2, 2000);

    std::optional<std::map<std::string, vantrel::DataResult>> results;
    std::vector<Report> reports;
    service().obtainDatasFromLocalCache(
        {"/" + good1, missing, good2}, [&](auto r) { results = std::move(r); },
        [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return results.has_value(); }, 60s));
    ASSERT_EQ(results->size(), 3u);
    EXPECT_EQ((*results)["/" + good1].data, bytes1);
    EXPECT_FALSE((*results)[missing].data);
    EXPECT_FALSE((*results)[missing].error);
    EXPECT_EQ((*results)[good2].data, bytes2);
    EXPECT_EQ(reports.front(), (Report{ProgressStatus::loading, 0.0}));
    EXPECT_EQ(reports.back(), (Report{ProgressStatus::done, 1.0}));
    EXPECT_EQ(std::count(reports.begin(), reports.end(), Report{ProgressStatus::done, 1.0}), 1)
        << "inner completions reach the caller as loading";
}

TEST_F(DownloadingServiceBackend, UploadsCheckAndDeleteOnTheServer) {
    const std::string key = prefix + "uploads/photo.png";
    const auto local = scratch / "photo.png";
    const FileData bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3};
    std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 11);

    std::optional<vantrel::OptionalError> uploaded;
    service().upload(local, key, [&](vantrel::OptionalError error) { uploaded = std::move(error); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return uploaded.has_value(); }, 60s));
    ASSERT_FALSE(*uploaded) << (*uploaded)->description();

    std::optional<std::pair<bool, vantrel::OptionalError>> exists;
    service().isFileExistsOnServer(key, [&](bool e, vantrel::OptionalError error) { exists = {e, error}; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return exists.has_value(); }, 30s));
    EXPECT_TRUE(exists->first);

    std::optional<std::pair<std::optional<FileData>, vantrel::OptionalError>> data;
    service().obtainDataFromLocalCache(key, true, [&](std::optional<FileData> d, vantrel::OptionalError e) {
        data = {std::move(d), std::move(e)};
    });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return data.has_value(); }, 60s));
    EXPECT_EQ(data->first, bytes);

    std::optional<vantrel::OptionalError> deleted;
    service().deleteFileFromServer(key, [&](vantrel::OptionalError error) { deleted = std::move(error); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return deleted.has_value(); }, 30s));
    EXPECT_FALSE(*deleted);
    exists.reset();
    service().isFileExistsOnServer(key, [&](bool e, vantrel::OptionalError error) { exists = {e, error}; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return exists.has_value(); }, 30s));
    EXPECT_FALSE(exists->first);
}

TEST_F(DownloadingServiceBackend, AnExpiredSignedUrlDeliversNothing) {
    const std::string key = prefix + "short-lived.bin";
    putOnServer(key, 100);
    const auto [result, error] = call("getSignedUrlToDownloadByKey", {{"file_key", key}, {"expires_in", 1}});
    ASSERT_FALSE(error) << error->description();
    const auto url = result.at("signedUrl").get<std::string>();
    // Expiry is a matter of real time passing; nothing else to wait for.
    std::this_thread::sleep_for(2100ms);

    std::optional<std::pair<std::optional<FileData>, vantrel::OptionalError>> answer;
    std::vector<Report> reports;
    service().download(
        url,
        [&](std::optional<FileData> d, vantrel::OptionalError e) {
            answer = {std::move(d), std::move(e)};
        },
        [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return answer.has_value(); }, 30s));
    EXPECT_FALSE(answer->first);
    EXPECT_FALSE(answer->second);
    EXPECT_EQ(reports.back(), (Report{ProgressStatus::done, 1.0}));
}

TEST_F(DownloadingServiceBackend, SignedUrlErrorsAreDeliveredAfterTheHalfWayReportAndWithoutDone) {
    // Signed out, the backend refuses to sign: the error arrives after (downloading, 0.5), no done.
    vantrel::ParseUser::logOut();
    const auto answer = obtainFile(prefix + "any.bin");
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.reports,
              (std::vector<Report>{{ProgressStatus::downloading, 0.0}, {ProgressStatus::downloading, 0.5}}));
}
