// The local side of the file cache: key mapping, storing, removing and answering from the cache.
// Transfers are covered against the reference backend in the integration suite.

#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using vantrel::DownloadingService;
using vantrel::FileData;
using vantrel::ProgressStatus;

namespace {
class DownloadingServiceCache : public testing::Test {
protected:
    void SetUp() override {
        home = std::filesystem::temp_directory_path() / ("vantrel-cache-" + std::to_string(::getpid()) + "-" +
                                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home);
        service().setLocalCacheHome(home);
    }
    void TearDown() override { std::filesystem::remove_all(home); }
    static DownloadingService& service() { return DownloadingService::sharedInstance(); }
    static FileData bytes(const std::string& text) { return {text.begin(), text.end()}; }
    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path home;
};

using Report = std::pair<ProgressStatus, double>;
}  // namespace

TEST_F(DownloadingServiceCache, OneLeadingSlashIsDroppedAndNothingElse) {
    EXPECT_EQ(service().getLocallyCachedFileUrl("models/abc/chair.zip"), home / "models/abc/chair.zip");
    EXPECT_EQ(service().getLocallyCachedFileUrl("/models/abc/chair.zip"), home / "models/abc/chair.zip");
    EXPECT_EQ(service().getLocallyCachedFileUrl("./a/./b.png"), home / "./a/./b.png");
    EXPECT_FALSE(std::filesystem::exists(home)) << "computing a path must not touch the disk";
}

TEST_F(DownloadingServiceCache, KeysThatWouldLeaveTheCacheAreRefusedAndTouchNothing) {
    const std::vector<std::string> unsafe = {
        "", "/", "//etc/passwd", "../outside", "a/../../b", "a/..", std::string("a\0b", 3), ".", "/./"};
    for (const auto& key : unsafe) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(service().getLocallyCachedFileUrl(key).has_value());
        EXPECT_FALSE(service().isExistsInLocalCache(key));
        auto added = service().addToLocalCache(key, bytes("x"));
        ASSERT_FALSE(added);
        EXPECT_EQ(added.error().userInfo.value("messageKey", ""), "downloadingService_error_invalid_file_key");
        service().removeFromLocalCache(key);

        std::vector<Report> reports;
        bool called = false;
        service().obtainFileFromLocalCache(
            key, true,
            [&](std::optional<std::filesystem::path> url, vantrel::OptionalError error) {
                called = true;
                EXPECT_FALSE(url);
                ASSERT_TRUE(error);
            },
            [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
        EXPECT_TRUE(called);
        EXPECT_EQ(reports, (std::vector<Report>{{ProgressStatus::done, 1.0}}));
    }
    EXPECT_FALSE(std::filesystem::exists(home));
    EXPECT_FALSE(std::filesystem::exists(home.parent_path() / "outside"));
}

TEST_F(DownloadingServiceCache, AddCreatesParentsReplacesAndRemoveDeletes) {
    auto first = service().addToLocalCache("/deep/er/file.bin", bytes("one"));
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, home / "deep/er/file.bin");
    EXPECT_EQ(read(*first), "one");
    auto second = service().addToLocalCache("deep/er/file.bin", bytes("two, longer"));
    ASSERT_TRUE(second);
    EXPECT_EQ(read(*second), "two, longer");
    // No temporary files are left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home / "deep/er"), {}), 1);

    EXPECT_TRUE(service().isExistsInLocalCache("/deep/er/file.bin"));
    service().removeFromLocalCache(std::vector<std::string>{"deep/er/file.bin", "never/there"});
    EXPECT_FALSE(service().isExistsInLocalCache("deep/er/file.bin"));
}

TEST_F(DownloadingServiceCache, CleanEmptiesTheCacheAndToleratesAMissingOne) {
    service().cleanLocalCache();  // never created: nothing happens
    ASSERT_TRUE(service().addToLocalCache("a/b", bytes("x")));
    service().cleanLocalCache();
    EXPECT_FALSE(std::filesystem::exists(home));
    ASSERT_TRUE(service().addToLocalCache("a/b", bytes("y")));  // created again on demand
}

TEST_F(DownloadingServiceCache, CacheHitsAnswerAtOnceOnTheCallersThreadWithDone) {
    ASSERT_TRUE(service().addToLocalCache("hit.txt", bytes("cached")));
    std::vector<Report> reports;
    std::optional<std::filesystem::path> got;
    std::thread::id ranOn;
    service().obtainFileFromLocalCache(
        "/hit.txt", true,
        [&](std::optional<std::filesystem::path> url, vantrel::OptionalError error) {
            EXPECT_FALSE(error);
            got = url;
            ranOn = std::this_thread::get_id();
        },
        [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
    EXPECT_EQ(got, home / "hit.txt");
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(reports, (std::vector<Report>{{ProgressStatus::done, 1.0}}));

    std::optional<FileData> data;
    service().obtainDataFromLocalCache("hit.txt", true, [&](std::optional<FileData> d, vantrel::OptionalError e) {
        EXPECT_FALSE(e);
        data = d;
    });
    EXPECT_EQ(data, bytes("cached"));
}

TEST_F(DownloadingServiceCache, WithoutDownloadingTheFileFormGivesThePathAndTheDataFormNothing) {
    std::optional<std::filesystem::path> url;
    bool errored = true;
    service().obtainFileFromLocalCache("missing/file.zip", false,
                                       [&](std::optional<std::filesystem::path> u, vantrel::OptionalError e) {
                                           url = u;
                                           errored = e.has_value();
                                       });
    EXPECT_EQ(url, home / "missing/file.zip");
    EXPECT_FALSE(errored);

    bool called = false;
    service().obtainDataFromLocalCache("missing/file.zip", false,
                                       [&](std::optional<FileData> d, vantrel::OptionalError e) {
                                           called = true;
                                           EXPECT_FALSE(d);
                                           EXPECT_FALSE(e);
                                       });
    EXPECT_TRUE(called);
}

TEST_F(DownloadingServiceCache, PluralFormsKeyResultsAsWrittenAndReportEveryKey) {
    ASSERT_TRUE(service().addToLocalCache("a.txt", bytes("A")));
    ASSERT_TRUE(service().addToLocalCache("b.txt", bytes("B")));

    std::vector<Report> reports;
    std::map<std::string, vantrel::DataResult> results;
    service().obtainDatasFromLocalCache(
        {"/a.txt", "b.txt", "a.txt"}, [&](auto r) { results = std::move(r); },
        [&](ProgressStatus s, double f) { reports.emplace_back(s, f); });
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results["/a.txt"].data, bytes("A"));
    EXPECT_EQ(results["b.txt"].data, bytes("B"));
    EXPECT_EQ(results["a.txt"].data, bytes("A"));
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports.front(), (Report{ProgressStatus::loading, 0.0}));
    EXPECT_EQ(reports[1].first, ProgressStatus::loading);
    EXPECT_NEAR(reports[1].second, 1.0 / 3, 1e-12);
    EXPECT_EQ(reports.back(), (Report{ProgressStatus::done, 1.0}));

    std::vector<Report> emptyReports;
    bool called = false;
    service().obtainFilesFromLocalCache(
        {}, [&](auto r) { called = r.empty(); }, [&](ProgressStatus s, double f) { emptyReports.emplace_back(s, f); });
    EXPECT_TRUE(called);
    EXPECT_EQ(emptyReports, (std::vector<Report>{{ProgressStatus::done, 1.0}}));
}

TEST_F(DownloadingServiceCache, ACachedFileThatCannotBeReadIsReportedAsAnError) {
    // A directory stands where the file should be: it counts as cached, but has no bytes.
    std::filesystem::create_directories(home / "dir.bin");
    std::map<std::string, vantrel::DataResult> results;
    service().obtainDatasFromLocalCache({"dir.bin"}, [&](auto r) { results = std::move(r); });
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results["dir.bin"].data);
    EXPECT_TRUE(results["dir.bin"].error);
}
