#include "core/HostCall.hpp"

#include "vantrel/core/Log.hpp"

#include <string>

namespace vantrel::detail {

void logUncaughtHostException(std::string_view place, std::string_view owner, const char* what) noexcept {
    try {
        std::string text = "Uncaught exception in " + std::string(place);
        if (!owner.empty()) text += " '" + std::string(owner) + "'";
        if (what != nullptr) text += std::string(": ") + what;
        VLOG_ERROR(text);
    } catch (...) {
        // Out of memory while reporting: nothing more can be done for it.
    }
}

}  // namespace vantrel::detail
