#include "vantrel/core/NetworkActivity.hpp"

namespace vantrel {

std::string describeHeaders(const HttpHeaders& headers) {
    if (headers.empty()) return "[:]";
    std::string text = "[";
    bool first = true;
    for (const auto& [name, value] : headers) {
        if (!first) text += ", ";
        first = false;
        text += "\"" + name + "\": \"" + value + "\"";
    }
    return text + "]";
}

}  // namespace vantrel
