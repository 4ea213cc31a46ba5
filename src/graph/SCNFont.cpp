#include "vantrel/graph/SCNFont.hpp"

#include "vantrel/core/ResourceBundle.hpp"

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

namespace vantrel {
namespace {

// The stand-in for platform fonts that the resources do not carry: Debian's DejaVu Sans.
constexpr std::array<const char*, 3> kFallbackFonts = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/local/share/fonts/DejaVuSans.ttf",
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::filesystem::path> files;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

bool isRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// Folders of the library's resource bundle: the one the library finds for itself.
std::vector<std::filesystem::path> resourceFolders() {
    std::vector<std::filesystem::path> folders;
    if (auto bundle = ResourceBundle::locate()) folders.push_back(bundle->directory());
    return folders;
}

// A font name becomes part of a file name: refuse anything that could leave the fonts folder.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

SCNFont::SCNFont(std::string name, double size)
    : name_(std::move(name)), size_((size > 0.0 && std::isfinite(size)) ? size : 0.0) {}

std::optional<std::filesystem::path> SCNFont::resolvedFile() const {
    {
        auto& reg = registry();
        std::lock_guard lock(reg.mutex);
        if (auto it = reg.files.find(name_); it != reg.files.end() && isRegularFile(it->second)) {
            return it->second;
        }
    }
    if (isPlainFileName(name_)) {
        for (const auto& folder : resourceFolders()) {
            for (const char* extension : {".ttf", ".otf", ".ttc"}) {
                const auto candidate = folder / "fonts" / (name_ + extension);
                if (isRegularFile(candidate)) {
                    return candidate;
                }
            }
        }
    }
    for (const char* fallback : kFallbackFonts) {
        if (isRegularFile(fallback)) {
            return std::filesystem::path(fallback);
        }
    }
    return std::nullopt;
}

void SCNFont::registerFontFile(const std::string& name, const std::filesystem::path& file) {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.files[name] = file;
}

}  // namespace vantrel
