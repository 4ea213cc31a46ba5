#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <glm/mat4x4.hpp>
#include <nlohmann/json.hpp>

#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/SCNRevision.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel {

/// A value of a technique symbol: a number, a vector or a matrix.
using SCNTechniqueValue = std::variant<double, SCNVector3, SCNVector4, glm::mat4>;

/// One pass of a technique.
struct SCNTechniquePass {
    /// What a pass draws.
    enum class Draw {
        scene,  ///< "DRAW_SCENE": the scene's nodes whose category mask matches.
        quad,   ///< "DRAW_QUAD": one full-screen rectangle.
    };
    std::string name;            ///< Key of the pass in "passes".
    Draw draw = Draw::quad;      ///< "draw".
    std::string vertexShader;    ///< Shader resource of the vertex stage ("mask_vertex").
    std::string fragmentShader;  ///< Shader resource of the fragment stage ("mask_fragment").
    std::uint64_t includeCategoryMask = ~std::uint64_t{0};  ///< "includeCategoryMask": nodes drawn by a scene pass.
    std::uint64_t excludeCategoryMask = 0;                  ///< "excludeCategoryMask": nodes left out.
    bool clearColor = true;                                 ///< "colorStates" → "clear": clear the output first.
    std::map<std::string, std::string> inputs;  ///< Shader input name → target ("COLOR", "MASK") or symbol.
    std::string output = "COLOR";               ///< "outputs" → "color": the target drawn into.
};

/// A render target that a technique declares.
struct SCNTechniqueTarget {
    std::string name;          ///< Key in "targets".
    int width = 0;             ///< Fixed width ("size": "512x512"), or 0 to follow the view.
    int height = 0;            ///< Fixed height, or 0 to follow the view.
    double scaleFactor = 1.0;  ///< Share of the view's size when no fixed size is given.
};

/// A post-processing recipe for a view: passes that draw parts of the scene or full-screen
/// rectangles into named targets, run in a sequence, with symbols the host sets by key path.
///
/// Built from a dictionary of the platform's form ("passes", "sequence", "symbols", "targets"). The
/// shaders a pass names are the library's own GLSL, loaded from the resource bundle's "shaders"
/// folder as `<vertexShader>.vert` and `<fragmentShader>.frag` ("vertexShader"/"fragmentShader"
/// keys, or else the "metalVertexShader"/"metalFragmentShader" names of the dictionary). Target
/// "COLOR" is the view's picture in linear light (stored as 8-bit sRGB: values above 1 clip).
///
/// A shader may say in one comment line how far its effect reaches, and the view then runs its pass
/// only where the inputs hold something: "//! bounds: projected" (a scene pass's vertex stage that
/// only projects the nodes' vertices), "//! bounds: fullscreen" (a quad pass's vertex stage that
/// draws the plain full-screen rectangle), "//! bounds: local <texels>" (a fragment stage whose
/// output is all zeros wherever its target inputs are zeros within that many texels) and
/// "//! bounds: over <base> <mask>" (a fragment stage whose output is input <base> unchanged wherever
/// input <mask> is zero). A pass whose shaders do not say so runs over its whole target.
///
/// Reference type (`std::shared_ptr`); used on the thread that owns the view.
class SCNTechnique {
public:
    /// The technique a dictionary describes; an Error (domain "Render", invalidTechnique) when the
    /// dictionary has no passes or sequence, names a pass that does not exist, or has an unknown draw
    /// kind or a malformed size.
    [[nodiscard]] static Expected<std::shared_ptr<SCNTechnique>> techniqueWithDictionary(
        const nlohmann::json& dictionary);

    /// Sets a symbol's value; the key path is the symbol's name ("glowColorSymbol").
    void setValue(const SCNTechniqueValue& value, std::string_view keyPath);
    /// Change stamp: grows with every `setValue` (see detail::RevisionStamp).
    [[nodiscard]] std::uint64_t revision() const noexcept { return revision_.value(); }
    /// The value set under `keyPath`, if any.
    [[nodiscard]] std::optional<SCNTechniqueValue> valueForKeyPath(std::string_view keyPath) const;

    /// The passes by name.
    [[nodiscard]] const std::map<std::string, SCNTechniquePass>& passes() const noexcept { return passes_; }
    /// The order passes run in (a pass may run several times).
    [[nodiscard]] const std::vector<std::string>& sequence() const noexcept { return sequence_; }
    /// The declared targets by name.
    [[nodiscard]] const std::map<std::string, SCNTechniqueTarget>& targets() const noexcept { return targets_; }
    /// Names of the symbols with the "vertex" semantic (bound to the rectangle's corners).
    [[nodiscard]] bool isVertexSymbol(const std::string& name) const { return vertexSymbols_.count(name) != 0; }
    /// The dictionary the technique was made from.
    [[nodiscard]] const nlohmann::json& dictionaryRepresentation() const noexcept { return dictionary_; }

private:
    nlohmann::json dictionary_;
    std::map<std::string, SCNTechniquePass> passes_;
    std::vector<std::string> sequence_;
    std::map<std::string, SCNTechniqueTarget> targets_;
    std::map<std::string, int> vertexSymbols_;
    std::map<std::string, SCNTechniqueValue, std::less<>> values_;
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
