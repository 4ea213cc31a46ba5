// Bounds of technique passes: the shaders' bounds lines and the screen rectangles of nodes.

#include "render/TechniqueBounds.hpp"

#include <algorithm>
#include <limits>
#include <sstream>

#include <glm/common.hpp>
#include <glm/vec4.hpp>

namespace vantrel::detail {

UnitRect UnitRect::united(const UnitRect& other) const {
    if (isEmpty()) return other;
    if (other.isEmpty()) return *this;
    return {glm::min(lo, other.lo), glm::max(hi, other.hi)};
}

UnitRect UnitRect::grown(float texels, int width, int height) const {
    if (isEmpty()) return *this;
    const glm::vec2 step(texels / static_cast<float>(std::max(1, width)),
                         texels / static_cast<float>(std::max(1, height)));
    return {glm::max(lo - step, glm::vec2(0.0f)), glm::min(hi + step, glm::vec2(1.0f))};
}

ShaderBounds shaderBounds(const std::string& source) {
    static const std::string kTag = "//! bounds:";
    const auto at = source.find(kTag);
    if (at == std::string::npos) return {};
    const auto end = source.find('\n', at);
    std::istringstream line(source.substr(at + kTag.size(), end == std::string::npos ? end : end - at - kTag.size()));
    std::string kind;
    line >> kind;
    ShaderBounds bounds;
    if (kind == "projected") {
        bounds.kind = ShaderBounds::Kind::projected;
    } else if (kind == "fullscreen") {
        bounds.kind = ShaderBounds::Kind::fullscreen;
    } else if (kind == "local" && (line >> bounds.reach) && bounds.reach >= 0.0f) {
        bounds.kind = ShaderBounds::Kind::local;
    } else if (kind == "over" && (line >> bounds.base >> bounds.mask)) {
        bounds.kind = ShaderBounds::Kind::over;
    }
    return bounds;
}

UnitRect projectedRect(const SCNGeometry& geometry, const glm::mat4& clipFromModel) {
    if (!geometry.hasBounds()) return UnitRect::everything();
    const SCNBoundingBox box = geometry.boundingBox();
    glm::vec2 lo(std::numeric_limits<float>::infinity());
    glm::vec2 hi(-std::numeric_limits<float>::infinity());
    for (int c = 0; c < 8; ++c) {
        const glm::vec4 clip =
            clipFromModel * glm::vec4((c & 1) ? box.max.x : box.min.x, (c & 2) ? box.max.y : box.min.y,
                                      (c & 4) ? box.max.z : box.min.z, 1.0f);
        if (!(clip.w > 1e-6f)) return UnitRect::everything();  // behind the eye (or not a number)
        const glm::vec2 unit = glm::vec2(clip) / clip.w * 0.5f + 0.5f;
        lo = glm::min(lo, unit);
        hi = glm::max(hi, unit);
    }
    return {glm::clamp(lo, 0.0f, 1.0f), glm::clamp(hi, 0.0f, 1.0f)};
}

}  // namespace vantrel::detail
