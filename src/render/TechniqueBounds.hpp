#pragma once

// Where a technique's targets can hold anything but zeros, so that passes over small content (the
// glow of one selected model) leave the empty rest of the screen alone. Private to the renderer.
//
// A pass is bounded only when its shaders say what they do, in one comment line of their source:
//   //! bounds: projected          vertex stage of a scene pass: positions are the view's projection
//                                  of the nodes' own vertices, so the pass draws inside their boxes
//   //! bounds: fullscreen         vertex stage of a quad pass: the plain full-screen rectangle
//   //! bounds: local <texels>     fragment stage: the output is (0, 0, 0, 0) wherever every target
//                                  input is zero within <texels> texels of the same place
//   //! bounds: over <base> <mask> fragment stage: the output is input <base> unchanged wherever
//                                  input <mask> is zero
// Any other pass runs over the whole target, and its output may hold anything anywhere.

#include <string>

#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel::detail {

/// A rectangle of the view in unit coordinates (0…1 both ways, GL's orientation).
struct UnitRect {
    glm::vec2 lo{0.0f};
    glm::vec2 hi{1.0f};

    [[nodiscard]] static UnitRect everything() { return {}; }
    [[nodiscard]] static UnitRect nothing() { return {glm::vec2(1.0f), glm::vec2(0.0f)}; }
    [[nodiscard]] bool isEmpty() const { return lo.x > hi.x || lo.y > hi.y; }
    [[nodiscard]] bool isEverything() const { return lo.x <= 0.0f && lo.y <= 0.0f && hi.x >= 1.0f && hi.y >= 1.0f; }
    /// Both rectangles together.
    [[nodiscard]] UnitRect united(const UnitRect& other) const;
    /// Grown by `texels` texels of a `width` × `height` grid on every side, within the view.
    [[nodiscard]] UnitRect grown(float texels, int width, int height) const;
};

/// What a shader's bounds line says.
struct ShaderBounds {
    enum class Kind { none, projected, fullscreen, local, over };
    Kind kind = Kind::none;
    float reach = 0.0f;  ///< local: texels
    std::string base;    ///< over: the input passed through
    std::string mask;    ///< over: the input that says where
};

/// The bounds line of a shader's source, if it has a well-formed one.
ShaderBounds shaderBounds(const std::string& source);

/// The rectangle `geometry` covers through `clipFromModel`; everything when it has no bounds or
/// reaches behind the eye.
UnitRect projectedRect(const SCNGeometry& geometry, const glm::mat4& clipFromModel);

}  // namespace vantrel::detail
