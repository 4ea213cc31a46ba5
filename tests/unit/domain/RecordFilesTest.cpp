// Records that name files hand out the files' bytes through the file cache.

#include "RecordTestSupport.hpp"

#include "vantrel/core/Error.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

namespace {

struct Answer {
    bool called = false;
    std::optional<FileData> data;
    OptionalError error;
};

// Points the file cache at a directory of its own for the test and puts it back afterwards.
class RecordFiles : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome_ = DownloadingService::sharedInstance().localCacheHome();
        home_ = std::filesystem::temp_directory_path() / ("vantrel-domain-files-" + std::to_string(::getpid()));
        DownloadingService::sharedInstance().setLocalCacheHome(home_);
        ASSERT_TRUE(DownloadingService::sharedInstance().addToLocalCache("files/picture.png", bytes_).hasValue());
    }
    void TearDown() override {
        DownloadingService::sharedInstance().setLocalCacheHome(previousHome_);
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    // Runs `fetch` with a block that records the answer, waiting on the main queue if it goes there.
    template <class Fetch>
    Answer fetch(Fetch&& start) {
        auto answer = std::make_shared<Answer>();
        start([answer](std::optional<FileData> data, OptionalError error) {
            answer->called = true;
            answer->data = std::move(data);
            answer->error = std::move(error);
        });
        MainRunLoop::runUntil([&] { return answer->called; });
        return *answer;
    }

    const FileData bytes_{0x89, 'P', 'N', 'G'};

private:
    std::filesystem::path previousHome_;
    std::filesystem::path home_;
};

}  // namespace

TEST_F(RecordFiles, CachedFilesArriveAsBytes) {
    const auto component = recordFromServer<ComponentEntity>({{"thumbnailFilePath", " files/picture.png "}});
    const auto thumbnail = fetch([&](auto block) { component->getThumbnailFileData(block); });
    EXPECT_TRUE(thumbnail.called);
    EXPECT_EQ(thumbnail.data, bytes_);
    EXPECT_FALSE(thumbnail.error);

    const auto company = recordFromServer<CompanyEntity>(
        {{"logoFilePath", "files/picture.png"}, {"watermarkFilePath", "files/picture.png"}});
    EXPECT_EQ(fetch([&](auto block) { company->getLogoFileData(block); }).data, bytes_);
    EXPECT_EQ(fetch([&](auto block) { company->getWatermarkFileData(block); }).data, bytes_);

    const auto item =
        recordFromServer<AppListItemEntity>({{"type", "OVERLAY_IMAGE"}, {"imagePath", "files/picture.png"}});
    EXPECT_EQ(fetch([&](auto block) { item->obtainImageData(block); }).data, bytes_);

    const auto anchor = recordFromServer<AnchorObjectEntity>({{"thumbnailFilePath", "files/picture.png"}});
    EXPECT_EQ(fetch([&](auto block) { anchor->getThumbnailFileData(block); }).data, bytes_);
}

TEST_F(RecordFiles, WithoutAFileTheBlockRunsAtOnceWithNothing) {
    const auto component = recordFromServer<ComponentEntity>({{"thumbnailFilePath", "  "}});
    Answer answer;
    component->getThumbnailFileData([&](std::optional<FileData> data, OptionalError error) {
        answer = {true, std::move(data), std::move(error)};
    });
    EXPECT_TRUE(answer.called);
    EXPECT_FALSE(answer.data);
    EXPECT_FALSE(answer.error);

    // A main product's image is its component's thumbnail; without a component there is none.
    const auto item = recordFromServer<AppListItemEntity>({{"imagePath", "files/picture.png"}});
    answer = {};
    item->obtainImageData([&](std::optional<FileData> data, OptionalError error) {
        answer = {true, std::move(data), std::move(error)};
    });
    EXPECT_TRUE(answer.called);
    EXPECT_FALSE(answer.data);

    const auto company = recordFromServer<CompanyEntity>({});
    answer = {};
    company->getWatermarkFileData([&](std::optional<FileData> data, OptionalError error) {
        answer = {true, std::move(data), std::move(error)};
    });
    EXPECT_TRUE(answer.called);
    EXPECT_FALSE(answer.data);
    EXPECT_FALSE(answer.error);
}

TEST_F(RecordFiles, TheCachesErrorIsHandedOnUnchanged) {
    // A key that would leave the cache directory is refused by the cache itself.
    const auto component = recordFromServer<ComponentEntity>({{"thumbnailFilePath", "../outside.png"}});
    const auto answer = fetch([&](auto block) { component->getThumbnailFileData(block); });
    ASSERT_TRUE(answer.called);
    EXPECT_FALSE(answer.data);
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.error->domain, TextError::kDomain);
    EXPECT_EQ(answer.error->message, TextError("downloadingService_error_invalid_file_key").message);
}

TEST_F(RecordFiles, AnEmptyBlockIsAllowed) {
    const auto component = recordFromServer<ComponentEntity>({{"thumbnailFilePath", "files/picture.png"}});
    component->getThumbnailFileData({});
    recordFromServer<ComponentEntity>({})->getThumbnailFileData({});
}
