#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel {

/// The library's own resource bundle: a directory holding "Info.json" (version keys and the
/// "Config" section), "strings/<language>.json", shaders and fonts.
///
/// It is found through, in this order: the path the host sets with `setSearchPath`, the
/// environment variable VANTREL_RESOURCES, the install location (found from where the library
/// itself was loaded: `<prefix>/share/vantrel` beside `<prefix>/lib`, whatever the prefix), and,
/// only for a library that runs from its build tree, the source tree's resources folder.
class ResourceBundle {
public:
    /// Sets the directory the host ships the bundle in; takes precedence over every other place.
    static void setSearchPath(std::filesystem::path directory);
    /// The bundle found by the rule above, or none when no candidate directory exists.
    static std::optional<ResourceBundle> locate();

    explicit ResourceBundle(std::filesystem::path directory);

    /// The bundle's directory.
    [[nodiscard]] const std::filesystem::path& directory() const noexcept { return directory_; }
    /// The parsed "Info.json", or none when the file is missing or is not a JSON object.
    [[nodiscard]] std::optional<nlohmann::json> infoDictionary() const;
    /// A file inside the bundle (which may not exist).
    [[nodiscard]] std::filesystem::path path(const std::string& relative) const { return directory_ / relative; }

private:
    std::filesystem::path directory_;
};

}  // namespace vantrel

#pragma GCC visibility pop
