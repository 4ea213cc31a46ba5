#include "vantrel/core/ResourceBundle.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace vantrel {

namespace {
std::mutex& searchPathMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<std::filesystem::path>& hostSearchPath() {
    // Never destroyed: read by threads that outlive exit.
    static auto* path = new std::optional<std::filesystem::path>();
    return *path;
}

// The directory of the file this code was loaded from (the shared library, or the program that
// linked the library statically); empty when the loader cannot say.
std::filesystem::path loadedLibraryDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&loadedLibraryDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    auto file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path() : file.parent_path();
}

bool isWithin(const std::filesystem::path& path, const std::filesystem::path& root) {
    std::error_code ec;
    const auto canonicalRoot = std::filesystem::canonical(root, ec);
    if (ec) return false;
    const auto relative = path.lexically_relative(canonicalRoot);
    return !relative.empty() && *relative.begin() != "..";
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
    const auto library = loadedLibraryDirectory();
    std::vector<std::filesystem::path> candidates;
    if (!library.empty()) candidates.push_back((library / VANTREL_RESOURCES_FROM_LIBRARY).lexically_normal());
    if (library.empty() || isWithin(library, VANTREL_BUILD_DIR)) candidates.emplace_back(VANTREL_SOURCE_RESOURCE_DIR);
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate / "Info.json", ec)) return ResourceBundle(candidate);
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
