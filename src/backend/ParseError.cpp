#include "vantrel/backend/ParseError.hpp"

namespace vantrel {

Error makeParseError(long code, std::string message, const nlohmann::json& extra) {
    nlohmann::json info = {{"code", code}, {"error", message}};
    if (extra.is_object()) {
        for (auto it = extra.begin(); it != extra.end(); ++it) info[it.key()] = it.value();
    }
    return Error(kParseErrorDomain, code, std::move(message), std::move(info));
}

}  // namespace vantrel
