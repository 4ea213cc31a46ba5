#pragma once

// Glyph outlines of a font file through FreeType, flattened to polygons and filled once per glyph.
// Private to the scene graph.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "PolygonTriangulator.hpp"

namespace vantrel::graph_internal {

/// One glyph in font units: its prepared contours, the triangles that fill them, and its advance.
struct GlyphShape {
    PreparedContours contours;
    std::vector<std::uint32_t> triangles;
    double advance = 0.0;
};

/// A font file opened for outlines. Glyph shapes are cached; the face is safe to use from several
/// threads (calls are serialised).
class FontFace {
public:
    /// The face of the font file at `path` (opened once per path and kept); nullptr when the file
    /// cannot be read as a scalable font.
    static std::shared_ptr<FontFace> open(const std::filesystem::path& path);

    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    /// Font units per em.
    [[nodiscard]] double unitsPerEm() const noexcept { return unitsPerEm_; }
    /// Distance between baselines, in font units.
    [[nodiscard]] double lineHeight() const noexcept { return lineHeight_; }
    /// Glyph of a character (the missing-glyph box when the font lacks it); curves are flattened to
    /// within `tolerance` font units.
    [[nodiscard]] std::shared_ptr<const GlyphShape> glyph(char32_t character, double tolerance);
    /// Kerning between two characters, in font units.
    [[nodiscard]] double kerning(char32_t left, char32_t right);

    struct Impl;

private:
    explicit FontFace(std::unique_ptr<Impl> impl);

    std::unique_ptr<Impl> impl_;
    double unitsPerEm_ = 1000.0;
    double lineHeight_ = 1200.0;
};

}  // namespace vantrel::graph_internal
