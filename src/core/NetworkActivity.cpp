#include "vantrel/core/NetworkActivity.hpp"

#include "core/LogRedaction.hpp"

namespace vantrel {

std::string describeHeaders(const HttpHeaders& headers) {
    if (headers.empty()) return "[:]";
    std::string text = "[";
    bool first = true;
    for (const auto& [name, value] : headers) {
        if (!first) text += ", ";
        first = false;
        // Credentials (session token, client key, cookies...) never reach a log line.
        text +=
            "\"" + name + "\": \"" + (detail::isLoggableHeader(name) ? value : std::string(detail::kRedacted)) + "\"";
    }
    return text + "]";
}

}  // namespace vantrel
