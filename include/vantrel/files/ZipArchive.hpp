#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace vantrel {

/// Why unpacking an archive failed (the `code` of the Error, domain `ZipArchive::errorDomain`).
enum class ZipArchiveError {
    /// The file is not a zip archive, or is cut short or damaged.
    unreadable = 1,
    /// An entry's name would leave the destination: absolute, "..", a drive or NUL.
    unsafeEntryPath = 2,
    /// An entry is a symbolic link, a device or another special file.
    unsupportedEntryType = 3,
    /// The entries add up to more than the allowed unpacked size, or there are too many.
    tooLarge = 4,
    /// An entry inflated to more bytes than it declared, or its data is damaged.
    corruptEntry = 5,
    /// The destination could not be written.
    fileSystem = 6,
};

/// Limits of one unpacking.
struct ZipArchiveLimits {
    /// The most bytes all entries together may unpack to.
    std::uint64_t maxUnpackedBytes = std::uint64_t{2} << 30;
    /// The most entries an archive may hold.
    std::uint64_t maxEntries = 20000;
};

/// Unpacks zip archives (libzip) into a directory, treating every archive as untrusted input.
///
/// - Every entry name is checked before anything is written: absolute names, ".." segments, drive
///   letters, NUL bytes, symbolic links, devices and other special files refuse the whole archive.
/// - The archive is unpacked into a temporary sibling of the destination and renamed into place only
///   when every entry is complete, so a destination that exists is always whole. When another
///   unpacking got there first, its directory is kept and this one's work is dropped.
/// - Entries stream through a fixed buffer (memory stays bounded whatever the entry sizes), each may
///   yield no more than it declares, and the total is capped by `ZipArchiveLimits`.
///
/// Stateless; call from any thread (the work is synchronous, so not from the main thread).
class ZipArchive {
public:
    /// Domain of the errors this reader makes.
    static constexpr const char* errorDomain = "ZipArchive";
    /// Receives the unpacked share of the archive, 0 to 1.
    using Progress = std::function<void(double fraction)>;

    /// Unpacks `archive` so that `destination` holds its entries. With `overwrite` false an existing
    /// destination is left alone and counts as success. Returns the error that stopped it, if any;
    /// on failure nothing of this call is left on disk.
    static OptionalError unzipFile(const std::filesystem::path& archive, const std::filesystem::path& destination,
                                   bool overwrite, const Progress& progress = {}, const ZipArchiveLimits& limits = {});

    /// True when `name`, an entry name of an archive, stays inside the directory it is unpacked to.
    [[nodiscard]] static bool isSafeEntryName(const std::string& name);
};

}  // namespace vantrel

#pragma GCC visibility pop
