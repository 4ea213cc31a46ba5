#include "vantrel/core/Error.hpp"

#include "vantrel/core/Strings.hpp"

namespace vantrel {

Error::Error(std::string errorDomain, long errorCode, std::string errorMessage, nlohmann::json info)
    : domain(std::move(errorDomain)), code(errorCode), message(std::move(errorMessage)), userInfo(std::move(info)) {
    if (!userInfo.is_object()) userInfo = nlohmann::json::object();
}

std::string Error::description() const {
    std::string text = message;
    if (auto it = userInfo.find("error"); it != userInfo.end() && it->is_string()) text = it->get<std::string>();
    if (code == -1) return text;
    return "[" + std::to_string(code) + "] " + text;
}

TextError::TextError(std::string_view messageKey) : TextError(messageKey, {}) {}

TextError::TextError(std::string_view messageKey, const std::vector<std::string>& arguments)
    : Error(std::string(kDomain), -1,
            arguments.empty() ? Strings::localized(messageKey) : Strings::localized(messageKey, arguments),
            nlohmann::json{{"messageKey", std::string(messageKey)}}) {}

std::string TextError::messageKey() const { return userInfo.value("messageKey", std::string()); }

}  // namespace vantrel
