#include "vantrel/core/ResourceBundle.hpp"

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace vantrel {

namespace {
std::mutex& searchPathMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<std::filesystem::path>& hostSearchPath() {
    static std::optional<std::filesystem::path> path;
    return path;
}
}  // namespace

void ResourceBundle::setSearchPath(std::filesystem::path directory) {
    std::lock_guard lock(searchPathMutex());
    hostSearchPath() = std::move(directory);
}

std::optional<ResourceBundle> ResourceBundle::locate() {
    {
        // A path set by the host is taken as it is, even when it holds no bundle: the host said
        // where the bundle is, and silently using another one would hide its mistake.
        std::lock_guard lock(searchPathMutex());
        if (hostSearchPath()) {
            std::error_code ec;
            if (std::filesystem::is_directory(*hostSearchPath(), ec)) return ResourceBundle(*hostSearchPath());
            return std::nullopt;
        }
    }
    if (const char* env = std::getenv("VANTREL_RESOURCES"); env != nullptr && *env != '\0') {
        std::error_code ec;
        if (std::filesystem::is_directory(env, ec)) return ResourceBundle(env);
        return std::nullopt;
    }
    for (const char* candidate : {VANTREL_INSTALL_RESOURCE_DIR, VANTREL_SOURCE_RESOURCE_DIR}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(std::filesystem::path(candidate) / "Info.json", ec))
            return ResourceBundle(candidate);
    }
    return std::nullopt;
}

ResourceBundle::ResourceBundle(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::optional<nlohmann::json> ResourceBundle::infoDictionary() const {
    std::ifstream stream(directory_ / "Info.json");
    if (!stream) return std::nullopt;
    auto json = nlohmann::json::parse(stream, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return std::nullopt;
    return json;
}

}  // namespace vantrel
