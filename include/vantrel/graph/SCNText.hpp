#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <string>

#include "vantrel/graph/SCNFont.hpp"
#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// How the lines of a text are placed against each other.
enum class SCNTextAlignmentMode {
    natural,    ///< As left.
    left,       ///< Lines start at x = 0.
    center,     ///< Lines are centred on the widest line.
    right,      ///< Lines end where the widest line ends.
    justified,  ///< As left (lines are not stretched).
};

/// Text as solid 3D letters: the glyph outlines of a font, filled and extruded along Z.
///
/// The first line's baseline lies on y = 0 and starts at x = 0; further lines ("\n") go downwards
/// by the font's line height. The letters span z from −extrusionDepth/2 to +extrusionDepth/2 and face
/// +Z. Elements: front, back, sides, and with a chamfer also the front and back chamfer bands.
///
/// The chamfer bevels the letters' edges: the faces shrink inwards by the chamfer radius, which is
/// limited to half the extrusion depth. Text is UTF-8; characters the font lacks draw as its
/// missing-glyph box.
class SCNText : public SCNGeometry {
public:
    /// A text geometry; see the class comment for the layout.
    explicit SCNText(std::string string = {}, float extrusionDepth = 1.0f);
    /// A new shared text geometry.
    [[nodiscard]] static std::shared_ptr<SCNText> make(std::string string, float extrusionDepth) {
        return std::make_shared<SCNText>(std::move(string), extrusionDepth);
    }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// The text.
    [[nodiscard]] const std::string& string() const noexcept { return string_; }
    /// Sets the text.
    void setString(std::string string);
    /// Font and size (the default font at size 1 unless set).
    [[nodiscard]] const SCNFont& font() const noexcept { return font_; }
    /// Sets the font and size.
    void setFont(SCNFont font);
    /// Depth of the letters along Z; negative or not-a-number depths count as 0 (flat letters).
    [[nodiscard]] float extrusionDepth() const noexcept { return extrusionDepth_; }
    /// Sets the depth of the letters.
    void setExtrusionDepth(float depth);
    /// Bevel of the letters' edges, 0 by default.
    [[nodiscard]] float chamferRadius() const noexcept { return chamferRadius_; }
    /// Sets the bevel.
    void setChamferRadius(float radius);
    /// Line alignment, natural by default.
    [[nodiscard]] SCNTextAlignmentMode alignmentMode() const noexcept { return alignmentMode_; }
    /// Sets the line alignment.
    void setAlignmentMode(SCNTextAlignmentMode mode);
    /// Largest distance between a curve of a letter and the straight segments drawn for it, as a
    /// fraction of the font size; 0.005 by default. Smaller values give smoother and heavier meshes.
    [[nodiscard]] float flatness() const noexcept { return flatness_; }
    /// Sets the curve tolerance (clamped to 0.0001…1).
    void setFlatness(float flatness);

private:
    void rebuild();

    std::string string_;
    SCNFont font_;
    float extrusionDepth_;
    float chamferRadius_ = 0.0f;
    SCNTextAlignmentMode alignmentMode_ = SCNTextAlignmentMode::natural;
    float flatness_ = 0.005f;
};

}  // namespace vantrel

#pragma GCC visibility pop
