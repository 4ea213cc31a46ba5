#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel {

/// A font by name and size, as text geometries use it. The size is the em height in scene units.
///
/// The name is resolved to a font file when text is built: a file registered under the name, then
/// "<name>.ttf", ".otf" or ".ttc" in the library's resource folder "fonts", then the DejaVu Sans face
/// that Debian installs. Platform font names (such as "Futura") therefore draw with the stand-in when
/// the resources carry no file of that name. When no font file can be found at all, text comes out empty.
class SCNFont {
public:
    /// The default font: DejaVu Sans (or whatever stands in), size 1.
    SCNFont() = default;
    /// A font of the given name and size; a negative or not-a-number size counts as 0.
    SCNFont(std::string name, double size);

    /// Font name.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Em height in scene units.
    [[nodiscard]] double size() const noexcept { return size_; }
    /// The same font in another size.
    [[nodiscard]] SCNFont withSize(double size) const { return {name_, size}; }

    /// The font file this font draws with, or nothing when none can be found.
    [[nodiscard]] std::optional<std::filesystem::path> resolvedFile() const;

    /// Makes `name` draw with the font file at `file` (process-wide; later registrations win).
    static void registerFontFile(const std::string& name, const std::filesystem::path& file);

    /// Exact equality of name and size.
    friend bool operator==(const SCNFont&, const SCNFont&) = default;

private:
    std::string name_;
    double size_ = 1.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
