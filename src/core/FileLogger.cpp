#include "vantrel/core/FileLogger.hpp"

#include "vantrel/core/Paths.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fmt/format.h>
#include <iterator>

namespace vantrel {

namespace {
constexpr std::string_view kExtension = ".log";

/// File names carry their start time, so that names sort by age: "<host> 2024-03-05--14-07-09-123.log".
std::string fileNameFor(std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::time_point_cast<std::chrono::seconds>(time);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds).count();
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return fmt::format("{} {:04}-{:02}-{:02}--{:02}-{:02}-{:02}-{:03}{}", Paths::hostApplicationName(),
                       local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                       millis, kExtension);
}

/// The start time encoded at the end of a file name, or none for foreign files.
std::optional<std::string> stampOf(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (name.size() < 28 || !name.ends_with(kExtension)) return std::nullopt;
    return name.substr(name.size() - kExtension.size() - 23, 23);
}
}  // namespace

FileLogger::FileLogger(std::filesystem::path directory)
    : directory_(std::move(directory)), formatter_(std::make_shared<CustomLogFormatter>()) {}

std::filesystem::path FileLogger::logsDirectory() const {
    std::lock_guard lock(mutex_);
    return directory_.empty() ? Paths::logsDirectory() : directory_;
}

void FileLogger::setLogsDirectory(std::filesystem::path directory) {
    std::lock_guard lock(mutex_);
    directory_ = std::move(directory);
    stream_.close();
    currentStart_.reset();
}

void FileLogger::setRollingFrequency(std::chrono::seconds frequency) {
    std::lock_guard lock(mutex_);
    rollingFrequency_ = frequency;
}

std::chrono::seconds FileLogger::rollingFrequency() const {
    std::lock_guard lock(mutex_);
    return rollingFrequency_;
}

void FileLogger::setMaximumNumberOfLogFiles(std::size_t count) {
    std::lock_guard lock(mutex_);
    maximumFiles_ = std::max<std::size_t>(1, count);
}

std::size_t FileLogger::maximumNumberOfLogFiles() const {
    std::lock_guard lock(mutex_);
    return maximumFiles_;
}

void FileLogger::setFormatter(std::shared_ptr<const CustomLogFormatter> formatter) {
    std::lock_guard lock(mutex_);
    if (formatter) formatter_ = std::move(formatter);
}

void FileLogger::logMessage(const LogMessage& message) {
    std::lock_guard lock(mutex_);
    if (!currentStart_ || message.timestamp >= *currentStart_ + rollingFrequency_)
        openFileFor(message.timestamp);
    else if (!stream_ && message.timestamp >= retryAt_)
        reopenAfterFailure(message.timestamp);
    if (!stream_) return;  // a log directory we cannot write to must not disturb the host
    stream_ << formatter_->formatLogMessage(message) << '\n';
    if (message.flag == static_cast<std::uint32_t>(LogFlag::error)) stream_.flush();
}

void FileLogger::flush() const {
    std::lock_guard lock(mutex_);
    if (stream_.is_open()) stream_.flush();
}

void FileLogger::openFileFor(std::chrono::system_clock::time_point time) {
    stream_.close();
    const auto directory = directory_.empty() ? Paths::logsDirectory() : directory_;
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    currentPath_ = directory / fileNameFor(time);
    // Lines may quote server answers: the file is the user's alone from its first byte.
    if (const int fd = ::open(currentPath_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
        fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
    stream_.clear();
    stream_.open(currentPath_, std::ios::app);
    currentStart_ = time;
    deleteOldFiles();
}

void FileLogger::reopenAfterFailure(std::chrono::system_clock::time_point time) {
    // A failed write (a full disk, say) leaves the stream failed for good; the disk may have room
    // again, so the same file is opened afresh, at most once a second while it keeps failing.
    retryAt_ = time + std::chrono::seconds(1);
    stream_.close();
    stream_.clear();
    stream_.open(currentPath_, std::ios::app);
}

void FileLogger::deleteOldFiles() {
    const auto paths = sortedLogFilePathsLocked();
    for (std::size_t i = maximumFiles_; i < paths.size(); ++i) {
        std::error_code ec;
        std::filesystem::remove(paths[i], ec);
    }
}

std::vector<std::filesystem::path> FileLogger::sortedLogFilePaths() const {
    std::lock_guard lock(mutex_);
    return sortedLogFilePathsLocked();
}

std::vector<std::filesystem::path> FileLogger::sortedLogFilePathsLocked() const {
    const auto directory = directory_.empty() ? Paths::logsDirectory() : directory_;
    std::vector<std::pair<std::string, std::filesystem::path>> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        if (auto stamp = stampOf(it->path()); stamp && it->is_regular_file(ec)) found.emplace_back(*stamp, it->path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::filesystem::path> paths;
    paths.reserve(found.size());
    for (auto& entry : found) paths.push_back(std::move(entry.second));
    return paths;
}

std::vector<std::vector<std::uint8_t>> FileLogger::logFileDataArray() const {
    flush();
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto& path : sortedLogFilePaths()) {
        std::ifstream stream(path, std::ios::binary);
        if (!stream) continue;  // deleted or unreadable since listing: skipped without a word
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        if (stream.bad()) continue;
        result.insert(result.begin(), std::move(bytes));
    }
    return result;
}

}  // namespace vantrel
