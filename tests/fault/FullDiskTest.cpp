// The file cache, the concept store and the log on a file system that fills up (a tmpfs of 2 MiB):
// a download that cannot be written and a save that cannot be written both end in an error, leave
// nothing half-written behind (no partial file taken for a cached one, no torn save in the store),
// keep what was there before, and succeed once space is free again; the log picks up again too.

#include "FaultFixture.hpp"

#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "support/ModelArchives.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/files/ZipArchive.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"
#include "vantrel/services/CoreDataService.hpp"
#include "vantrel/store/PersistentContainer.hpp"
#include "vantrel/store/StoreError.hpp"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vantrel {
namespace {

using namespace std::chrono_literals;

class FullDiskTest : public test::FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        disk_ = scratch() / "disk";
        std::filesystem::create_directories(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                         << "); the full-disk tests need root";
        mounted_ = true;
    }

    void TearDown() override {
        if (mounted_) {
            EXPECT_EQ(::umount2(disk_.c_str(), MNT_DETACH), 0) << std::strerror(errno);
        }
        FaultFixture::TearDown();
    }

    // Fills the disk with one file, then gives `leave` bytes back: what a save or a download
    // meets when the device is all but full.
    void fillLeaving(std::size_t leave) {
        const auto path = filler();
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const std::string block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) {
        }
        std::fclose(file);
        const auto size = std::filesystem::file_size(path);
        std::filesystem::resize_file(path, size > leave ? size - leave : 0);
    }
    void freeSpace() { std::filesystem::remove(filler()); }
    [[nodiscard]] std::filesystem::path filler() const { return disk_ / "filler"; }

    // Regular files below `directory`, the filler aside.
    [[nodiscard]] std::vector<std::string> filesBelow(const std::filesystem::path& directory) const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
            if (entry.is_regular_file() && entry.path() != filler())
                files.push_back(std::filesystem::relative(entry.path(), directory).string());
        return files;
    }

    std::filesystem::path disk_;
    bool mounted_ = false;
};

struct Download {
    std::optional<std::filesystem::path> url;
    OptionalError error;
};

Download download(const std::string& key) {
    std::optional<Download> answer;
    DownloadingService::sharedInstance().obtainFileFromLocalCache(
        key, true, [&](auto url, auto error) { answer = Download{std::move(url), std::move(error)}; });
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return answer.has_value(); }, 60s)) << "the download never ended";
    return answer.value_or(Download{});
}

TEST_F(FullDiskTest, ADownloadThatCannotBeWrittenFailsCachesNothingAndSucceedsOnceSpaceIsFree) {
    auto data = seedCompany();
    signInAs(data["manager"]);
    const auto home = disk_ / "cache";
    DownloadingService::sharedInstance().setLocalCacheHome(home);
    const auto key = "fault/" + uniqueName("full") + "/model.zip";
    const auto bytes = storeBackendFile(key, std::size_t{1} << 20, 3);

    // Room for a quarter of the file: a write that starts and cannot finish.
    fillLeaving(256 * 1024);
    const auto failed = download(key);
    EXPECT_FALSE(failed.url);
    ASSERT_TRUE(failed.error) << "a file that cannot be written is an error";
    EXPECT_FALSE(DownloadingService::sharedInstance().isExistsInLocalCache(key)) << "nothing cached under the key";
    EXPECT_TRUE(filesBelow(disk_).empty()) << "no partial or temporary file left behind: " << filesBelow(disk_).front();

    freeSpace();
    const auto whole = download(key);
    ASSERT_FALSE(whole.error) << whole.error->description();
    ASSERT_TRUE(whole.url);
    std::ifstream in(*whole.url, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) == bytes);
}

TEST_F(FullDiskTest, AModelArchiveThatCannotBeUnpackedLeavesNoDirectoryThatWouldCountAsCached) {
    // Four entries of 384 KiB: more than the disk will have left.
    const auto archive = scratch() / "model.zip";
    std::vector<test::RawZipEntry> entries;
    for (int i = 0; i < 4; ++i)
        entries.push_back(test::storedEntry("part-" + std::to_string(i) + ".bin", std::string(384 * 1024, 'a' + i)));
    test::writeRawZip(archive, entries);
    const auto destination = disk_ / "cache" / "models" / "sofa";

    fillLeaving(512 * 1024);
    const auto failed = ZipArchive::unzipFile(archive, destination, true);
    ASSERT_TRUE(failed) << "an archive that does not fit is an error";
    EXPECT_EQ(failed->code, static_cast<long>(ZipArchiveError::fileSystem)) << failed->description();
    EXPECT_FALSE(std::filesystem::exists(destination)) << "a cached model is one that exists";
    EXPECT_TRUE(filesBelow(disk_).empty()) << "nothing of the unpacking left: " << filesBelow(disk_).front();

    freeSpace();
    const auto unpacked = ZipArchive::unzipFile(archive, destination, true);
    ASSERT_FALSE(unpacked) << unpacked->description();
    EXPECT_EQ(filesBelow(destination).size(), 4u);
}

// A concept named `name` with `items` items at x = 0, 1, 2 ... and a thumbnail of `thumbnailBytes`.
void addDesign(ManagedObjectContext& context, const std::string& name, int items, std::size_t thumbnailBytes) {
    auto design = context.insertNewObject<ConceptEntity>(ConceptEntity::entityName);
    design->setName(name);
    design->setUser_id("user-1");
    design->setThumbnail(Blob(thumbnailBytes, 0x5a));
    for (int i = 0; i < items; ++i) {
        auto item = context.insertNewObject<ConceptItemEntity>(ConceptItemEntity::entityName);
        item->setPositionX(static_cast<float>(i));
        design->addToConceptItems(item);
    }
}

// Every design on the file, with " (torn)" after one whose items are not exactly 0 .. n-1.
std::vector<std::string> designsOnFile(const std::filesystem::path& file) {
    PersistentContainer reader("CodeBase", CoreDataService::codeBaseModel(), file);
    const auto error = reader.loadPersistentStores();
    EXPECT_FALSE(error) << error->description();
    if (error) return {"<unreadable>"};
    auto designs = reader.viewContext().fetchAs<ConceptEntity>(FetchRequest(ConceptEntity::entityName));
    EXPECT_TRUE(designs.hasValue());
    std::vector<std::string> names;
    for (const auto& design : designs.value()) {
        const auto items = design->conceptItems();
        bool whole = !items.empty();
        for (std::size_t i = 0; whole && i < items.size(); ++i) whole = items[i]->positionX() == static_cast<float>(i);
        names.push_back(design->name().value_or("?") + (whole ? "" : " (torn)"));
    }
    return names;
}

TEST_F(FullDiskTest, ASaveOnAFullDiskFailsKeepsThePreviousSaveAndItsChangesAndSucceedsOnceSpaceIsFree) {
    const auto directory = disk_ / "store";
    const auto file = directory / "CodeBase.sqlite";
    // The save runs out at a different step each time: the log, its header, the pages.
    for (std::size_t leave = 0; leave <= 64 * 1024; leave += 8192) {
        SCOPED_TRACE("bytes left: " + std::to_string(leave));
        std::filesystem::create_directories(directory);
        PersistentContainer container("CodeBase", CoreDataService::codeBaseModel(), file);
        ASSERT_FALSE(container.loadPersistentStores());
        auto& context = container.viewContext();
        addDesign(context, "Saved", 20, 1024);
        const auto first = context.save();
        ASSERT_FALSE(first) << first->description();

        // The next save needs far more than the disk has left.
        fillLeaving(leave);
        addDesign(context, "Too big", 200, 512 * 1024);
        const auto full = context.save();
        ASSERT_TRUE(full) << "a save that does not fit is an error";
        EXPECT_TRUE(isStoreError(*full, StoreErrorCode::saveFailed)) << full->description();
        EXPECT_TRUE(context.hasChanges()) << "the changes stay for another try";
        EXPECT_EQ(designsOnFile(file), std::vector<std::string>{"Saved"}) << "the file holds the last save, whole";

        freeSpace();
        const auto retried = context.save();
        EXPECT_FALSE(retried) << retried->description();
        EXPECT_FALSE(context.hasChanges());
        EXPECT_EQ(designsOnFile(file), (std::vector<std::string>{"Saved", "Too big"}));
        std::filesystem::remove_all(directory);
    }
}

TEST_F(FullDiskTest, AStoreCutShortWhileBeingCreatedIsCreatedOnceSpaceIsFree) {
    const auto directory = disk_ / "store";
    const auto file = directory / "CodeBase.sqlite";
    // From no room at all to room for a few pages: the creation stops at a different step each time.
    for (std::size_t leave = 0; leave <= 64 * 1024; leave += 4096) {
        SCOPED_TRACE("bytes left: " + std::to_string(leave));
        std::filesystem::create_directories(directory);
        fillLeaving(leave);
        {
            PersistentContainer container("CodeBase", CoreDataService::codeBaseModel(), file);
            const auto loaded = container.loadPersistentStores();
            if (leave == 0) {
                ASSERT_TRUE(loaded) << "a store that cannot be written is an error";
            }
            if (loaded) {
                EXPECT_TRUE(isStoreError(*loaded, StoreErrorCode::cannotOpen)) << loaded->description();
            }
        }
        freeSpace();
        {
            PersistentContainer container("CodeBase", CoreDataService::codeBaseModel(), file);
            const auto loaded = container.loadPersistentStores();
            ASSERT_FALSE(loaded) << "what the full disk left behind must not block the store for good: "
                                 << loaded->description();
            addDesign(container.viewContext(), "First", 3, 16);
            EXPECT_FALSE(container.viewContext().save());
        }
        EXPECT_EQ(designsOnFile(file), std::vector<std::string>{"First"});
        std::filesystem::remove_all(directory);
    }
}

TEST_F(FullDiskTest, TheLogGoesOnOnceSpaceIsFreeAgain) {
    FileLogger logger(disk_ / "logs");
    auto now = std::chrono::system_clock::now();
    const auto line = [&](const std::string& text) {
        LogMessage message;
        message.text = text;
        message.flag = static_cast<std::uint32_t>(LogFlag::error);  // written through at once
        message.timestamp = now;
        logger.logMessage(message);
    };
    line("before the disk filled up");
    fillLeaving(0);
    for (int i = 0; i < 100; ++i) line("while the disk is full " + std::string(200, 'x'));
    freeSpace();
    now += std::chrono::seconds(2);  // the logger tries the file again at most once a second
    line("after space came back");
    logger.flush();

    std::string text;
    for (const auto& data : logger.logFileDataArray()) text.append(data.begin(), data.end());
    EXPECT_NE(text.find("before the disk filled up"), std::string::npos);
    EXPECT_NE(text.find("after space came back"), std::string::npos) << "a full disk must not end the log for the day";
}

}  // namespace
}  // namespace vantrel
