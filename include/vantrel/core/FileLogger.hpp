#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/CustomLogFormatter.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// A rolling log file sink: one file per period (a day by default), keeping a set number of files
/// (two by default), whose contents the host can read back, e.g. to attach to a support request.
class FileLogger {
public:
    /// Writes into `directory` (created on first write); by default the host's logs directory.
    explicit FileLogger(std::filesystem::path directory = {});

    /// Where the files live.
    [[nodiscard]] std::filesystem::path logsDirectory() const;
    /// Moves the files to `directory` from the next message on.
    void setLogsDirectory(std::filesystem::path directory);
    /// Seconds after which a new file is started (86400).
    void setRollingFrequency(std::chrono::seconds frequency);
    [[nodiscard]] std::chrono::seconds rollingFrequency() const;
    /// How many files are kept; older ones are deleted when a new file starts (2).
    void setMaximumNumberOfLogFiles(std::size_t count);
    [[nodiscard]] std::size_t maximumNumberOfLogFiles() const;
    /// The formatter of the lines.
    void setFormatter(std::shared_ptr<const CustomLogFormatter> formatter);

    /// Writes one message as a line, rolling to a new file when the current one is too old.
    void logMessage(const LogMessage& message);
    /// Pushes buffered lines to disk.
    void flush() const;

    /// The log files, newest first.
    [[nodiscard]] std::vector<std::filesystem::path> sortedLogFilePaths() const;
    /// The contents of the log files, oldest first; files that cannot be read are skipped.
    [[nodiscard]] std::vector<std::vector<std::uint8_t>> logFileDataArray() const;

private:
    void openFileFor(std::chrono::system_clock::time_point time);
    void reopenAfterFailure(std::chrono::system_clock::time_point time);
    void deleteOldFiles();
    [[nodiscard]] std::vector<std::filesystem::path> sortedLogFilePathsLocked() const;

    mutable std::mutex mutex_;
    std::filesystem::path directory_;
    std::chrono::seconds rollingFrequency_{86400};
    std::size_t maximumFiles_ = 2;
    std::shared_ptr<const CustomLogFormatter> formatter_;
    mutable std::ofstream stream_;
    std::filesystem::path currentPath_;
    std::optional<std::chrono::system_clock::time_point> currentStart_;
    std::chrono::system_clock::time_point retryAt_{};
};

/// Installs the two sinks (console with colours, and `fileLogger`) with the given level mask;
/// called once by initialization.
void setUpLoggers(std::uint32_t level);

/// The file logger of the library (the same as VantrelSDK::fileLogger()).
FileLogger& sharedFileLogger();

}  // namespace vantrel

#pragma GCC visibility pop
