#include "vantrel/core/CustomLogFormatter.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>

using namespace std::chrono_literals;
using vantrel::CustomLogFormatter;
using vantrel::FileLogger;
using vantrel::LogMessage;

namespace {
std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour, int minute, int second,
                                                int millis) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(millis);
}

std::filesystem::path freshDirectory(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("vantrel-log-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    return dir;
}

std::string text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }
}  // namespace

TEST(CustomLogFormatter, LaysOutTimeOriginLevelAndText) {
    CustomLogFormatter formatter;
    LogMessage message{
        "hello", 8, localTime(2024, 3, 5, 14, 7, 9, 123), "onWillSendParseURLRequest(notification:)", 476, "worker"};
    EXPECT_EQ(formatter.formatLogMessage(message),
              "2024-03-05 14:07:09:123 [onWillSendParseURLRequest(notification:):476] DEBUG: hello");
}

TEST(CustomLogFormatter, ShowsTheThreadNameWhenThereIsNoFunction) {
    CustomLogFormatter formatter;
    LogMessage named{"text", 4, localTime(2024, 1, 2, 3, 4, 5, 6), "", 10, "worker"};
    EXPECT_EQ(formatter.formatLogMessage(named), "2024-01-02 03:04:05:006 [worker] INFO: text");
    LogMessage unnamed{"text", 1, localTime(2024, 1, 2, 3, 4, 5, 6), "", 10, ""};
    EXPECT_EQ(formatter.formatLogMessage(unnamed), "2024-01-02 03:04:05:006 [] ERROR: text");
}

TEST(CustomLogFormatter, LevelWordsFollowTheFlag) {
    EXPECT_STREQ(CustomLogFormatter::levelWord(1), "ERROR");
    EXPECT_STREQ(CustomLogFormatter::levelWord(2), "WARNING");
    EXPECT_STREQ(CustomLogFormatter::levelWord(4), "INFO");
    EXPECT_STREQ(CustomLogFormatter::levelWord(8), "DEBUG");
    EXPECT_STREQ(CustomLogFormatter::levelWord(16), "VERBOSE");
    EXPECT_STREQ(CustomLogFormatter::levelWord(7), "ALL");
    EXPECT_STREQ(CustomLogFormatter::levelWord(0), "ALL");
}

TEST(FileLogger, RollsDailyKeepsTwoFilesAndReadsThemBackOldestFirst) {
    const auto dir = freshDirectory("roll");
    FileLogger logger(dir);
    const auto day0 = localTime(2024, 3, 5, 10, 0, 0, 0);
    logger.logMessage({"first day", 4, day0, "f", 1, ""});
    logger.logMessage({"still first day", 4, day0 + 23h, "f", 2, ""});
    logger.logMessage({"second day", 4, day0 + 24h, "f", 3, ""});
    logger.logMessage({"third day", 4, day0 + 48h + 1s, "f", 4, ""});

    const auto paths = logger.sortedLogFilePaths();
    ASSERT_EQ(paths.size(), 2u);
    const auto data = logger.logFileDataArray();
    ASSERT_EQ(data.size(), 2u);
    EXPECT_NE(text(data[0]).find("second day"), std::string::npos);
    EXPECT_EQ(text(data[0]).find("first day"), std::string::npos);
    EXPECT_NE(text(data[1]).find("third day"), std::string::npos);
    // Newest first in the listing.
    EXPECT_GT(paths[0].filename().string(), paths[1].filename().string());
    std::filesystem::remove_all(dir);
}

TEST(FileLogger, SkipsFilesThatVanishedAndToleratesAnUnwritableDirectory) {
    const auto dir = freshDirectory("vanish");
    FileLogger logger(dir);
    const auto day0 = localTime(2024, 3, 5, 10, 0, 0, 0);
    logger.logMessage({"one", 4, day0, "f", 1, ""});
    logger.logMessage({"two", 4, day0 + 25h, "f", 1, ""});
    auto paths = logger.sortedLogFilePaths();
    ASSERT_EQ(paths.size(), 2u);
    std::filesystem::remove(paths[1]);  // the older file
    const auto data = logger.logFileDataArray();
    ASSERT_EQ(data.size(), 1u);
    EXPECT_NE(text(data[0]).find("two"), std::string::npos);

    FileLogger nowhere("/proc/vantrel-cannot-write-here");
    EXPECT_NO_THROW(nowhere.logMessage({"lost", 1, day0, "f", 1, ""}));
    EXPECT_TRUE(nowhere.logFileDataArray().empty());
    std::filesystem::remove_all(dir);
}

TEST(FileLogger, WritesFormattedLines) {
    const auto dir = freshDirectory("lines");
    FileLogger logger(dir);
    logger.logMessage({"a line", 2, localTime(2024, 3, 5, 10, 0, 0, 7), "load", 12, ""});
    const auto data = logger.logFileDataArray();
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(text(data[0]), "2024-03-05 10:00:00:007 [load:12] WARNING: a line\n");
    // Lines may quote server answers: the file is its owner's alone.
    struct stat info {};
    ASSERT_EQ(::stat(logger.sortedLogFilePaths().front().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::filesystem::remove_all(dir);
}

namespace {
std::string signatureOfALambdaIn(int) {
    return [] { return std::string(__PRETTY_FUNCTION__); }();
}
}  // namespace

TEST(LogFunctionNames, LinesNameThePlainFunctionAndALambdaByItsHolder) {
    using vantrel::log::shortFunctionName;
    EXPECT_EQ(shortFunctionName("void vantrel::AuthService::signOut(bool, std::function<void()>)"), "signOut");
    EXPECT_EQ(shortFunctionName("static std::shared_ptr<vantrel::X> vantrel::X::make(int (*)(int))"), "make");
    EXPECT_EQ(shortFunctionName("void vantrel::services_detail::processResult(std::shared_ptr<vantrel::ParseObject>, "
                                "vantrel::OptionalError, const ObjectBlock&)"),
              "processResult");
    EXPECT_EQ(shortFunctionName("bool vantrel::{anonymous}::Feed::seen(const T&) const [with T = int]"), "seen");
    EXPECT_EQ(shortFunctionName("void vantrel::Feed::confirmed()::<lambda(std::optional<int>)>::<lambda()>"),
              "confirmed");
    EXPECT_EQ(shortFunctionName("void vantrel::Functor::operator()(int) const"), "operator()");
    EXPECT_EQ(shortFunctionName("initialize"), "initialize");
    EXPECT_EQ(shortFunctionName(signatureOfALambdaIn(1)), "signatureOfALambdaIn");
}
