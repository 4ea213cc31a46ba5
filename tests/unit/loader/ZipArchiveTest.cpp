// The archive reader against archives no honest tool makes: every one is refused with a typed error,
// writes nothing outside the unpack directory, keeps memory bounded and leaves no directory behind
// that a later load would take for a complete one.

#include "support/ModelArchives.hpp"
#include "vantrel/files/ZipArchive.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <thread>

using vantrel::ZipArchive;
using vantrel::ZipArchiveError;
using vantrel::test::RawZipEntry;
using vantrel::test::storedEntry;
using vantrel::test::writeRawZip;

namespace {

class ZipArchiveTest : public testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() / ("vantrel-zip-" + std::to_string(::getpid()) + "-" +
                                                         testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "cache");
        archive = root / "model.zip";
        destination = root / "cache" / "model.zip.extracted";
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    /// Everything below the cache directory, as relative paths.
    std::vector<std::string> cacheListing() const {
        std::vector<std::string> found;
        for (const auto& item : std::filesystem::recursive_directory_iterator(root / "cache"))
            found.push_back(std::filesystem::relative(item.path(), root / "cache").string());
        std::sort(found.begin(), found.end());
        return found;
    }

    static long peakResidentKilobytes() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    }

    std::filesystem::path root, archive, destination;
};

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(ZipArchiveTest, UnpacksNestedEntriesIntoPlaceWithProgressUpToOne) {
    writeRawZip(archive, {storedEntry("metadata.json", R"({"model":"m/chair.gltf"})"), storedEntry("m/", "", 040755),
                          storedEntry("m/chair.gltf", "{}"), storedEntry("./m/textures/wood.png", "png-bytes")});
    std::vector<double> fractions;
    const auto error = ZipArchive::unzipFile(archive, destination, true, [&](double f) { fractions.push_back(f); });
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(readText(destination / "metadata.json"), R"({"model":"m/chair.gltf"})");
    EXPECT_EQ(readText(destination / "m" / "textures" / "wood.png"), "png-bytes");
    ASSERT_FALSE(fractions.empty());
    EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(cacheListing(), (std::vector<std::string>{
                                  "model.zip.extracted", "model.zip.extracted/m", "model.zip.extracted/m/chair.gltf",
                                  "model.zip.extracted/m/textures", "model.zip.extracted/m/textures/wood.png",
                                  "model.zip.extracted/metadata.json"}))
        << "nothing but the finished directory is left";
}

TEST_F(ZipArchiveTest, HostileArchivesAreRefusedWithoutWritingAnything) {
    struct Case {
        const char* what;
        std::vector<RawZipEntry> entries;
        ZipArchiveError expected;
    };
    RawZipEntry bomb;  // declares 12 bytes, inflates to 2 GiB of zeros
    bomb.name = "model.glb";
    bomb.method = 8;
    bomb.stored = vantrel::test::deflatedZeros(std::uint64_t{2} << 30);
    bomb.declaredSize = 12;
    bomb.crc = 0;
    RawZipEntry huge = bomb;  // says honestly that it is too big
    huge.declaredSize = std::uint64_t{3} << 30;
    huge.declaredSize = 0xFFFFFFF0u;

    const std::vector<Case> cases{
        {"zip slip",
         {storedEntry("metadata.json", "{}"), storedEntry("../escaped.txt", "x")},
         ZipArchiveError::unsafeEntryPath},
        {"zip slip inside a path", {storedEntry("a/../../escaped.txt", "x")}, ZipArchiveError::unsafeEntryPath},
        {"backslash slip", {storedEntry("a\\..\\..\\escaped.txt", "x")}, ZipArchiveError::unsafeEntryPath},
        {"absolute path", {storedEntry((root / "escaped.txt").string(), "x")}, ZipArchiveError::unsafeEntryPath},
        {"drive letter", {storedEntry("C:/escaped.txt", "x")}, ZipArchiveError::unsafeEntryPath},
        {"symbolic link",
         {storedEntry("link", root.string(), 0120777), storedEntry("link/escaped.txt", "x")},
         ZipArchiveError::unsupportedEntryType},
        {"device", {storedEntry("tty", "", 0020666)}, ZipArchiveError::unsupportedEntryType},
        {"bomb declaring a tiny size", {storedEntry("metadata.json", "{}"), bomb}, ZipArchiveError::corruptEntry},
        {"entry larger than the cap", {huge}, ZipArchiveError::tooLarge},
    };
    const long peakBefore = peakResidentKilobytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeRawZip(archive, c.entries);
        const auto error = ZipArchive::unzipFile(archive, destination, true);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, ZipArchive::errorDomain);
        EXPECT_EQ(error->code, static_cast<long>(c.expected)) << error->message;
        EXPECT_FALSE(std::filesystem::exists(root / "escaped.txt"));
        EXPECT_EQ(cacheListing(), std::vector<std::string>{}) << "no directory a later load would reuse";
    }
    // The bomb streamed through a fixed buffer: the process never grew by anything near its size.
    EXPECT_LT(peakResidentKilobytes() - peakBefore, 64 * 1024);
}

TEST_F(ZipArchiveTest, ACutShortArchiveIsUnreadableAndLeavesNothing) {
    std::string big(200000, 'g');
    writeRawZip(archive, {storedEntry("metadata.json", "{}"), storedEntry("model.gltf", big)});
    std::filesystem::resize_file(archive, std::filesystem::file_size(archive) / 2);
    const auto error = ZipArchive::unzipFile(archive, destination, true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, static_cast<long>(ZipArchiveError::unreadable)) << error->message;
    EXPECT_EQ(cacheListing(), std::vector<std::string>{});
}

TEST_F(ZipArchiveTest, TwoUnpackingsAtOnceLeaveOneCompleteDirectory) {
    std::vector<RawZipEntry> entries{storedEntry("metadata.json", "{}")};
    for (int i = 0; i < 40; ++i)
        entries.push_back(storedEntry("part" + std::to_string(i) + ".bin", std::string(50000, 'p')));
    writeRawZip(archive, entries);
    vantrel::OptionalError first, second;
    std::thread a([&] { first = ZipArchive::unzipFile(archive, destination, false); });
    std::thread b([&] { second = ZipArchive::unzipFile(archive, destination, false); });
    a.join();
    b.join();
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    const auto listing = cacheListing();
    EXPECT_EQ(listing.size(), 42u) << "the directory and its 41 files, no staging directory";
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(std::filesystem::file_size(destination / ("part" + std::to_string(i) + ".bin")), 50000u);
}
