#include "vantrel/core/CustomLogFormatter.hpp"

#include <ctime>
#include <fmt/format.h>

namespace vantrel {

const char* CustomLogFormatter::levelWord(std::uint32_t flag) noexcept {
    switch (flag) {
        case 1: return "ERROR";
        case 2: return "WARNING";
        case 4: return "INFO";
        case 8: return "DEBUG";
        case 16: return "VERBOSE";
        default: return "ALL";
    }
}

std::string CustomLogFormatter::formatTime(std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::time_point_cast<std::chrono::seconds>(time);
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds).count();
    if (millis < 0) millis += 1000;  // times before 1970 round towards the earlier second
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}:{:03}", local.tm_year + 1900, local.tm_mon + 1,
                       local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
}

std::string CustomLogFormatter::formatLogMessage(const LogMessage& message) const {
    std::string origin =
        message.function.empty() ? message.threadName : message.function + ":" + std::to_string(message.line);
    std::string line = formatTime(message.timestamp);
    line.reserve(line.size() + origin.size() + message.text.size() + 16);
    line += " [";
    line += origin;
    line += "] ";
    line += levelWord(message.flag);
    line += ": ";
    line += message.text;
    return line;
}

}  // namespace vantrel
