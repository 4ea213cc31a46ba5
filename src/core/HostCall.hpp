#pragma once

#include <exception>
#include <string_view>
#include <utility>

namespace vantrel::detail {

/// Logs, at error level, that host code run from `place` ("a block run by") of `owner` (a thread
/// or queue name, may be empty) ended with an exception; `what` is the exception's text, null when
/// it was not a std::exception. Never throws.
void logUncaughtHostException(std::string_view place, std::string_view owner, const char* what) noexcept;

/// Runs host code (a completion block, a handler, an observer, a queued item) from one of the
/// library's own threads or from the middle of its own work. An exception it throws is logged and
/// dropped there, so it never ends the thread (and with it the process) nor unwinds through the
/// library. Every place the library calls into host code goes through here.
template <class Function>
void callHostCode(std::string_view place, std::string_view owner, Function&& function) noexcept {
    try {
        std::forward<Function>(function)();
    } catch (const std::exception& e) {
        logUncaughtHostException(place, owner, e.what());
    } catch (...) {
        logUncaughtHostException(place, owner, nullptr);
    }
}

}  // namespace vantrel::detail
