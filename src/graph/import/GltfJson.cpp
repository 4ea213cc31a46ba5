#include "graph/import/GltfJson.hpp"

#include <cmath>

namespace vantrel::detail {

void failGltf(SCNSceneSourceError code, const std::string& message) {
    throw GltfFailure{Error(SCNSceneSource::errorDomain, static_cast<long>(code), message)};
}

void invalidGltf(const std::string& message) { failGltf(SCNSceneSourceError::invalidScene, message); }

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const nlohmann::json* objectMember(const nlohmann::json& object, const char* key) {
    const auto* value = member(object, key);
    return value && value->is_object() ? value : nullptr;
}

const nlohmann::json& topLevelArray(const nlohmann::json& document, const char* key) {
    static const nlohmann::json empty = nlohmann::json::array();
    const auto* value = member(document, key);
    if (!value) return empty;
    if (!value->is_array()) invalidGltf(std::string("'") + key + "' is not an array");
    return *value;
}

double numberOr(const nlohmann::json& object, const char* key, double fallback) {
    const auto* value = member(object, key);
    if (!value) return fallback;
    if (!value->is_number()) invalidGltf(std::string("'") + key + "' is not a number");
    const double number = value->get<double>();
    if (!std::isfinite(number)) invalidGltf(std::string("'") + key + "' is not finite");
    return number;
}

std::string stringOr(const nlohmann::json& object, const char* key) {
    const auto* value = member(object, key);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::uint64_t unsignedOr(const nlohmann::json& object, const char* key, std::uint64_t fallback) {
    const auto* value = member(object, key);
    if (!value) return fallback;
    if (value->is_number_unsigned()) return value->get<std::uint64_t>();
    if (value->is_number_float()) {
        const double number = value->get<double>();
        if (number >= 0 && number < 1.8e19 && std::floor(number) == number) return static_cast<std::uint64_t>(number);
    }
    invalidGltf(std::string("'") + key + "' is not a count");
}

std::optional<std::size_t> indexOf(const nlohmann::json& object, const char* key, std::size_t limit) {
    if (!member(object, key)) return std::nullopt;
    const auto index = unsignedOr(object, key, 0);
    if (index >= limit) invalidGltf(std::string("'") + key + "' names an item that is not there");
    return static_cast<std::size_t>(index);
}

std::size_t requiredIndex(const nlohmann::json& object, const char* key, std::size_t limit) {
    const auto index = indexOf(object, key, limit);
    if (!index) invalidGltf(std::string("'") + key + "' is missing");
    return *index;
}

void GltfProgress::report(double fraction, SCNSceneSourceStatus status) {
    fraction_ = fraction;
    status_ = status;
    pending_ = 0;
    lastAsked_ = std::chrono::steady_clock::now();
    if (handler_) handler_(fraction, status, std::nullopt, stop_);
    if (stop_) failGltf(SCNSceneSourceError::cancelled, "Loading was stopped");
}

void GltfProgress::pollNow() {
    pending_ = 0;
    if (!handler_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastAsked_ < std::chrono::milliseconds(10)) return;
    report(fraction_, status_);
}

}  // namespace vantrel::detail
