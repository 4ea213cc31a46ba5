#include "vantrel/files/ZipArchive.hpp"

#include "vantrel/core/Expected.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

namespace {

Error archiveError(ZipArchiveError code, std::string message) {
    return Error(ZipArchive::errorDomain, static_cast<long>(code), std::move(message));
}

struct ZipCloser {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;
using ZipFileHandle = std::unique_ptr<zip_file_t, ZipFileCloser>;

/// A file descriptor closed on scope exit.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int get() const noexcept { return fd_; }
    /// Closes now and reports whether the close succeeded (a late write error shows here).
    bool close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

/// Removes a directory tree on scope exit (nothing when it was moved away).
class TreeGuard {
public:
    explicit TreeGuard(std::filesystem::path path) : path_(std::move(path)) {}
    ~TreeGuard() {
        if (path_.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TreeGuard(const TreeGuard&) = delete;
    TreeGuard& operator=(const TreeGuard&) = delete;

private:
    std::filesystem::path path_;
};

std::string uniqueSuffix() { return boost::uuids::to_string(boost::uuids::random_generator()()); }

/// One entry as the archive's directory describes it.
struct Entry {
    zip_uint64_t index = 0;
    std::string name;
    std::filesystem::path relative;
    std::uint64_t size = 0;
    bool directory = false;
};

/// The segments of an entry name, with "." and empty segments dropped; backslashes count as
/// separators, since archives made on some systems use them.
std::vector<std::string> segmentsOf(const std::string& name) {
    std::vector<std::string> segments;
    std::string current;
    for (char c : name) {
        if (c == '/' || c == '\\') {
            if (!current.empty() && current != ".") segments.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty() && current != ".") segments.push_back(current);
    return segments;
}

/// The type of a Unix entry from its external attributes; 0 when the archive does not say.
mode_t unixFileType(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return 0;
    if (system != ZIP_OPSYS_UNIX) return 0;
    return static_cast<mode_t>((attributes >> 16) & S_IFMT);
}

/// Reads the directory of the archive and checks every entry before anything is written.
Expected<std::vector<Entry>> listEntries(zip_t* archive, const std::filesystem::path& path,
                                         const ZipArchiveLimits& limits) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0)
        return archiveError(ZipArchiveError::unreadable, "Unable to read the entries of '" + path.string() + "'");
    if (static_cast<std::uint64_t>(count) > limits.maxEntries) {
        return archiveError(ZipArchiveError::tooLarge, "The archive '" + path.string() + "' holds " +
                                                           std::to_string(count) + " entries, more than " +
                                                           std::to_string(limits.maxEntries));
    }
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    std::uint64_t total = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME) ||
            !(stat.valid & ZIP_STAT_SIZE)) {
            return archiveError(ZipArchiveError::unreadable,
                                "Unable to read entry " + std::to_string(i) + " of '" + path.string() + "'");
        }
        Entry entry;
        entry.index = i;
        entry.name = stat.name;
        entry.size = stat.size;
        if (!ZipArchive::isSafeEntryName(entry.name)) {
            return archiveError(ZipArchiveError::unsafeEntryPath,
                                "The archive entry '" + entry.name + "' would leave the unpack directory");
        }
        const mode_t type = unixFileType(archive, i);
        entry.directory = entry.name.back() == '/' || entry.name.back() == '\\' || type == S_IFDIR;
        if (type != 0 && type != S_IFREG && type != S_IFDIR) {
            return archiveError(ZipArchiveError::unsupportedEntryType,
                                "The archive entry '" + entry.name + "' is a link or a special file");
        }
        for (const auto& segment : segmentsOf(entry.name)) entry.relative /= segment;
        if (entry.relative.empty()) continue;  // the archive's own root
        if (!entry.directory) {
            total += entry.size;
            if (entry.size > limits.maxUnpackedBytes || total > limits.maxUnpackedBytes) {
                return archiveError(ZipArchiveError::tooLarge, "The archive '" + path.string() +
                                                                   "' unpacks to more than " +
                                                                   std::to_string(limits.maxUnpackedBytes) + " bytes");
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

/// Streams one entry into `target`, a new file; at most `entry.size` bytes are accepted.
OptionalError extractEntry(zip_t* archive, const Entry& entry, const std::filesystem::path& target,
                           const std::function<void(std::uint64_t)>& wrote) {
    ZipFileHandle file(zip_fopen_index(archive, entry.index, 0));
    if (!file) {
        return archiveError(ZipArchiveError::corruptEntry,
                            "Unable to open the archive entry '" + entry.name + "': " + zip_strerror(archive));
    }
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (out.get() < 0) {
        return archiveError(ZipArchiveError::fileSystem,
                            "Unable to create '" + target.string() + "': " + std::strerror(errno));
    }
    std::array<char, 1 << 16> buffer;
    std::uint64_t written = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            return archiveError(ZipArchiveError::corruptEntry, "Unable to read the archive entry '" + entry.name +
                                                                   "': " + zip_file_strerror(file.get()));
        }
        if (n == 0) break;
        written += static_cast<std::uint64_t>(n);
        if (written > entry.size) {
            return archiveError(ZipArchiveError::corruptEntry,
                                "The archive entry '" + entry.name + "' holds more data than it declares");
        }
        for (zip_int64_t offset = 0; offset < n;) {
            const ssize_t w = ::write(out.get(), buffer.data() + offset, static_cast<std::size_t>(n - offset));
            if (w < 0) {
                if (errno == EINTR) continue;
                return archiveError(ZipArchiveError::fileSystem,
                                    "Unable to write '" + target.string() + "': " + std::strerror(errno));
            }
            offset += w;
        }
        wrote(static_cast<std::uint64_t>(n));
    }
    if (written != entry.size) {
        return archiveError(ZipArchiveError::corruptEntry, "The archive entry '" + entry.name + "' is cut short");
    }
    if (!out.close()) {
        return archiveError(ZipArchiveError::fileSystem,
                            "Unable to write '" + target.string() + "': " + std::strerror(errno));
    }
    return std::nullopt;
}

/// Moves a complete tree to `destination`.
OptionalError moveIntoPlace(const std::filesystem::path& staged, const std::filesystem::path& destination,
                            bool overwrite) {
    std::error_code ec;
    std::filesystem::rename(staged, destination, ec);
    if (!ec) return std::nullopt;
    std::error_code probe;
    if (!std::filesystem::exists(destination, probe)) {
        return archiveError(ZipArchiveError::fileSystem,
                            "Unable to move the unpacked files to '" + destination.string() + "': " + ec.message());
    }
    if (!overwrite) return std::nullopt;  // someone else finished first: theirs stands, ours goes
    // Swap: the old tree steps aside, the new one takes its name, the old one goes.
    const auto retired = destination.parent_path() / ("." + destination.filename().string() + ".old-" + uniqueSuffix());
    std::filesystem::rename(destination, retired, ec);
    if (!ec) std::filesystem::rename(staged, destination, ec);
    std::error_code ignored;
    std::filesystem::remove_all(retired, ignored);
    if (ec) {
        return archiveError(ZipArchiveError::fileSystem,
                            "Unable to replace '" + destination.string() + "': " + ec.message());
    }
    return std::nullopt;
}

}  // namespace

bool ZipArchive::isSafeEntryName(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    if (name.front() == '/' || name.front() == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive letter
    for (const auto& segment : segmentsOf(name)) {
        if (segment == "..") return false;
    }
    return true;
}

OptionalError ZipArchive::unzipFile(const std::filesystem::path& archivePath, const std::filesystem::path& destination,
                                    bool overwrite, const Progress& progress, const ZipArchiveLimits& limits) {
    std::error_code ec;
    if (!overwrite && std::filesystem::exists(destination, ec)) return std::nullopt;

    int openError = 0;
    ZipHandle archive(zip_open(archivePath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, openError);
        std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        return archiveError(ZipArchiveError::unreadable,
                            "Unable to open the archive '" + archivePath.string() + "': " + text);
    }
    auto entries = listEntries(archive.get(), archivePath, limits);
    if (!entries) return entries.error();

    std::uint64_t total = 0;
    for (const auto& entry : *entries) total += entry.directory ? 0 : entry.size;

    std::filesystem::create_directories(destination.parent_path(), ec);
    if (ec) {
        return archiveError(ZipArchiveError::fileSystem,
                            "Unable to create '" + destination.parent_path().string() + "': " + ec.message());
    }
    const auto staged =
        destination.parent_path() / ("." + destination.filename().string() + ".partial-" + uniqueSuffix());
    std::filesystem::create_directory(staged, ec);
    if (ec)
        return archiveError(ZipArchiveError::fileSystem, "Unable to create '" + staged.string() + "': " + ec.message());
    TreeGuard guard(staged);

    std::uint64_t done = 0;
    int lastPercent = -1;
    const auto wrote = [&](std::uint64_t bytes) {
        done += bytes;
        if (!progress || total == 0) return;
        const int percent = static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        if (percent == lastPercent) return;
        lastPercent = percent;
        progress(static_cast<double>(done) / static_cast<double>(total));
    };

    for (const auto& entry : *entries) {
        const auto target = staged / entry.relative;
        // Nothing in the staging tree is a link (no entry may make one), so creating directories
        // along the entry's path cannot lead outside it.
        std::filesystem::create_directories(entry.directory ? target : target.parent_path(), ec);
        if (ec)
            return archiveError(ZipArchiveError::fileSystem, "Unable to unpack '" + entry.name + "': " + ec.message());
        if (entry.directory) continue;
        if (auto error = extractEntry(archive.get(), entry, target, wrote)) return error;
    }
    // The guard still removes the staged tree when another unpacking's directory was kept.
    if (auto error = moveIntoPlace(staged, destination, overwrite)) return error;
    if (progress) progress(1.0);
    return std::nullopt;
}

}  // namespace vantrel
