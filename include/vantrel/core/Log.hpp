#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

/// Log flags; a level is a mask of them.
enum class LogFlag : std::uint32_t { error = 1, warning = 2, info = 4, debug = 8, verbose = 16 };

/// Level masks.
namespace LogLevel {
inline constexpr std::uint32_t off = 0;
inline constexpr std::uint32_t error = 1;
inline constexpr std::uint32_t warning = 3;
inline constexpr std::uint32_t info = 7;
inline constexpr std::uint32_t debug = 15;
inline constexpr std::uint32_t verbose = 31;
inline constexpr std::uint32_t all = 0xFFFFFFFFu;
}  // namespace LogLevel

namespace log {
/// Writes `message` with `flag` to every installed sink whose level lets it pass. `function` and
/// `line` name where the call was made; an empty function makes the line show the thread name.
/// True when at least one installed sink would accept a message with `flag`.
bool wouldLog(LogFlag flag) noexcept;
/// Writes `message` with `flag` to every installed sink whose level lets it pass. `function` and
/// `line` name where the call was made; an empty function makes the line show the thread name.
void write(LogFlag flag, std::string_view message, const char* file, const char* function, int line);
/// The plain name of the function a signature belongs to ("signOut" for
/// "void vantrel::AuthService::signOut(bool)"). For a lambda it is the function that holds it, so
/// that a line logged from a completion block names where the block was written. Text without a
/// parameter list is given back as it is.
std::string shortFunctionName(std::string_view signature);
/// Names the calling thread for log lines (and for the system's thread list).
void setCurrentThreadName(std::string name);
/// The name given to the calling thread, empty when none.
const std::string& currentThreadName();
}  // namespace log

}  // namespace vantrel

// Logging calls of the library: the message text, the call's function and line.
// The message is built only when some sink would take it.
#define VANTREL_LOG(flag, message)                                                             \
    do {                                                                                       \
        if (::vantrel::log::wouldLog(flag))                                                    \
            ::vantrel::log::write((flag), (message), __FILE__, __PRETTY_FUNCTION__, __LINE__); \
    } while (false)
#define VLOG_ERROR(message) VANTREL_LOG(::vantrel::LogFlag::error, message)
#define VLOG_WARNING(message) VANTREL_LOG(::vantrel::LogFlag::warning, message)
#define VLOG_INFO(message) VANTREL_LOG(::vantrel::LogFlag::info, message)
#define VLOG_DEBUG(message) VANTREL_LOG(::vantrel::LogFlag::debug, message)

#pragma GCC visibility pop
