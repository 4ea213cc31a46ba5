// Zip archives from outside, unpacked into a scratch directory with small limits.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vantrel/files/ZipArchive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto root = [] {
        auto path = std::filesystem::temp_directory_path() / ("vantrel-fuzz-zip-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    const auto archive = root / "archive.zip";
    const auto destination = root / "out" / "unpacked";
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const vantrel::ZipArchiveLimits limits{.maxUnpackedBytes = 8u << 20, .maxEntries = 256};
    const auto error = vantrel::ZipArchive::unzipFile(archive, destination, true, {}, limits);
    // Whatever the archive holds, nothing lands outside the destination's folder.
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        const auto name = entry.path().filename().string();
        if (name != "archive.zip" && name != "out") std::abort();
    }
    if (error && std::filesystem::exists(destination)) std::abort();  // failures leave nothing behind
    std::filesystem::remove_all(root / "out");
    return 0;
}
