#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Log.hpp"

#include <chrono>
#include <cstdint>
#include <string>

namespace vantrel {

/// One message on its way to the sinks.
struct LogMessage {
    /// The message text.
    std::string text;
    /// Its flag (1 error, 2 warning, 4 info, 8 debug, 16 verbose).
    std::uint32_t flag = static_cast<std::uint32_t>(LogFlag::info);
    /// When it was logged.
    std::chrono::system_clock::time_point timestamp = std::chrono::system_clock::now();
    /// The logging function, empty when unknown.
    std::string function;
    /// The line of the logging call.
    int line = 0;
    /// The name of the logging thread, empty when it has none.
    std::string threadName;
};

/// Formats every line of the library:
/// "yyyy-MM-dd HH:mm:ss:SSS [function:line] LEVEL: text", where the origin in brackets is the
/// thread name when the message has no function. Local time; no line feed is added.
class CustomLogFormatter {
public:
    /// The line text of `message`.
    [[nodiscard]] std::string formatLogMessage(const LogMessage& message) const;
    /// "ERROR", "WARNING", "INFO", "DEBUG", "VERBOSE" for the single flags, "ALL" otherwise.
    [[nodiscard]] static const char* levelWord(std::uint32_t flag) noexcept;
    /// The time as "yyyy-MM-dd HH:mm:ss:SSS" in the local time zone.
    [[nodiscard]] static std::string formatTime(std::chrono::system_clock::time_point time);
};

}  // namespace vantrel

#pragma GCC visibility pop
