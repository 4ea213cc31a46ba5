// The log hub: spdlog carries every message to the console and file sinks, each with a level mask.

#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"

#include <spdlog/logger.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/base_sink.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <pthread.h>

namespace vantrel {

namespace {

spdlog::level::level_enum spdlogLevel(LogFlag flag) {
    switch (flag) {
        case LogFlag::error: return spdlog::level::err;
        case LogFlag::warning: return spdlog::level::warn;
        case LogFlag::info: return spdlog::level::info;
        case LogFlag::debug: return spdlog::level::debug;
        case LogFlag::verbose: return spdlog::level::trace;
    }
    return spdlog::level::info;
}

std::uint32_t flagOf(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::critical:
        case spdlog::level::err: return 1;
        case spdlog::level::warn: return 2;
        case spdlog::level::info: return 4;
        case spdlog::level::debug: return 8;
        case spdlog::level::trace: return 16;
        default: return 0;
    }
}

/// spdlog's lowest level that lets every flag of `mask` through.
spdlog::level::level_enum thresholdOf(std::uint32_t mask) {
    if (mask & 16) return spdlog::level::trace;
    if (mask & 8) return spdlog::level::debug;
    if (mask & 4) return spdlog::level::info;
    if (mask & 2) return spdlog::level::warn;
    if (mask & 1) return spdlog::level::err;
    return spdlog::level::off;
}

/// Turns spdlog's message back into ours. Sinks run on the logging thread (the logger is
/// synchronous), so the thread's name is read here.
LogMessage toLogMessage(const spdlog::details::log_msg& msg) {
    LogMessage message;
    message.text.assign(msg.payload.data(), msg.payload.size());
    message.flag = flagOf(msg.level);
    message.timestamp = msg.time;
    if (msg.source.funcname != nullptr) message.function = msg.source.funcname;
    message.line = msg.source.line;
    message.threadName = log::currentThreadName();
    return message;
}

/// Lets spdlog's colour console sink print our line layout, coloured as a whole by level.
class SpdlogFormatterAdapter final : public spdlog::formatter {
public:
    explicit SpdlogFormatterAdapter(std::shared_ptr<const CustomLogFormatter> formatter)
        : formatter_(std::move(formatter)) {}
    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override {
        const std::string line = formatter_->formatLogMessage(toLogMessage(msg));
        msg.color_range_start = 0;
        msg.color_range_end = line.size();
        dest.append(line.data(), line.data() + line.size());
        dest.push_back('\n');
    }
    [[nodiscard]] std::unique_ptr<spdlog::formatter> clone() const override {
        return std::make_unique<SpdlogFormatterAdapter>(formatter_);
    }

private:
    std::shared_ptr<const CustomLogFormatter> formatter_;
};

/// Forwards to the rolling FileLogger.
class FileLoggerSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit FileLoggerSink(FileLogger& logger) : logger_(logger) {}

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override { logger_.logMessage(toLogMessage(msg)); }
    void flush_() override { logger_.flush(); }

private:
    FileLogger& logger_;
};

struct Hub {
    std::mutex mutex;
    std::shared_ptr<spdlog::logger> logger;
    std::atomic<std::uint32_t> mask{0};
};

Hub& hub() {
    static auto* instance = new Hub();  // never destroyed: threads may log during exit
    return *instance;
}

}  // namespace

FileLogger& sharedFileLogger() {
    static auto* logger = new FileLogger();
    return *logger;
}

void setUpLoggers(std::uint32_t level) {
    auto formatter = std::make_shared<const CustomLogFormatter>();
    auto console = std::make_shared<spdlog::sinks::ansicolor_stderr_sink_mt>(spdlog::color_mode::automatic);
    console->set_formatter(std::make_unique<SpdlogFormatterAdapter>(formatter));
    console->set_level(thresholdOf(level));

    auto& file = sharedFileLogger();
    file.setFormatter(formatter);
    file.setRollingFrequency(std::chrono::seconds(86400));
    file.setMaximumNumberOfLogFiles(2);
    auto fileSink = std::make_shared<FileLoggerSink>(file);
    fileSink->set_level(thresholdOf(level));

    auto logger = std::make_shared<spdlog::logger>("vantrel", spdlog::sinks_init_list{console, fileSink});
    logger->set_level(spdlog::level::trace);  // each sink decides with its own level
    logger->flush_on(spdlog::level::err);

    auto& h = hub();
    std::lock_guard lock(h.mutex);
    h.logger = std::move(logger);
    h.mask.store(level, std::memory_order_release);
}

namespace log {

bool wouldLog(LogFlag flag) noexcept {
    return (hub().mask.load(std::memory_order_acquire) & static_cast<std::uint32_t>(flag)) != 0;
}

std::string shortFunctionName(std::string_view signature) {
    // A lambda's signature continues its holder's: "R ns::f(args)::<lambda(args)>".
    if (const auto lambda = signature.find("::<lambda"); lambda != std::string_view::npos)
        signature = signature.substr(0, lambda);
    if (const auto with = signature.find(" [with "); with != std::string_view::npos)
        signature = signature.substr(0, with);
    while (!signature.empty() && signature.back() == ' ') signature.remove_suffix(1);
    // Qualifiers after the parameter list ("const", "noexcept").
    const auto close = signature.rfind(')');
    if (close == std::string_view::npos) return std::string(signature);
    signature = signature.substr(0, close + 1);
    // The parameter list, matched from its end so that function types inside it do not confuse.
    int depth = 0;
    std::size_t open = std::string_view::npos;
    for (std::size_t i = signature.size(); i-- > 0;) {
        if (signature[i] == ')') ++depth;
        if (signature[i] == '(' && --depth == 0) {
            open = i;
            break;
        }
    }
    if (open == std::string_view::npos) return std::string(signature);
    std::string_view name = signature.substr(0, open);
    // "operator()" keeps its own parentheses.
    if (name.ends_with("operator")) return std::string(name.substr(name.rfind("operator"))) + "()";
    int angles = 0;
    for (std::size_t i = name.size(); i-- > 0;) {
        const char c = name[i];
        if (c == '>') ++angles;
        if (c == '<') --angles;
        if (angles == 0 && (c == ' ' || c == '*' || c == '&' || (c == ':' && i > 0 && name[i - 1] == ':')))
            return std::string(name.substr(i + 1));
    }
    return std::string(name);
}

void write(LogFlag flag, std::string_view message, const char* file, const char* function, int line) {
    std::shared_ptr<spdlog::logger> logger;
    {
        auto& h = hub();
        std::lock_guard lock(h.mutex);
        logger = h.logger;
    }
    if (!logger) return;
    // The macros hand over the full signature; lines show the plain name.
    const std::string name =
        function != nullptr && std::strchr(function, '(') != nullptr ? shortFunctionName(function) : std::string();
    logger->log(spdlog::source_loc{file, line, name.empty() ? function : name.c_str()}, spdlogLevel(flag), message);
}

namespace {
std::string& threadNameSlot() {
    thread_local std::string name;
    return name;
}
}  // namespace

void setCurrentThreadName(std::string name) {
    // The system keeps at most 15 characters; the full name stays ours.
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    threadNameSlot() = std::move(name);
}

const std::string& currentThreadName() { return threadNameSlot(); }

}  // namespace log
}  // namespace vantrel
