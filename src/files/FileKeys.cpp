#include "files/FileKeys.hpp"

#include <cmath>
#include <fmt/format.h>

namespace vantrel::detail {

std::optional<std::filesystem::path> relativeCachePath(const std::string& fileKey) {
    std::string_view key = fileKey;
    if (!key.empty() && key.front() == '/') key.remove_prefix(1);
    if (key.empty() || key.find('\0') != std::string_view::npos) return std::nullopt;
    std::filesystem::path path{std::string(key)};
    if (path.is_absolute() || path.has_root_name()) return std::nullopt;
    bool namesSomething = false;
    for (const auto& part : path) {
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") namesSomething = true;
    }
    if (!namesSomething) return std::nullopt;
    return path;
}

std::string formatByteCount(std::uint64_t bytes) {
    constexpr double kilo = 1000.0;
    if (bytes < 1000 * 1000) return fmt::format("{} KB", static_cast<std::uint64_t>(std::llround(bytes / kilo)));
    return fmt::format("{:.1f} MB", static_cast<double>(bytes) / (kilo * kilo));
}

}  // namespace vantrel::detail
