#include "support/EllipsoidMesh.hpp"

#include <glm/gtc/constants.hpp>

#include <cmath>
#include <cstdint>

namespace vantrel_bench {

std::shared_ptr<vantrel::SCNGeometry> ellipsoidMesh(float width, float height, float depth, int rings, int segments,
                                                    const std::function<float(float phi, float theta)>& dent) {
    vantrel::SCNGeometrySource source;
    for (int r = 0; r <= rings; ++r) {
        const float phi = glm::pi<float>() * static_cast<float>(r) / static_cast<float>(rings);
        for (int s = 0; s <= segments; ++s) {
            const float theta = glm::two_pi<float>() * static_cast<float>(s) / static_cast<float>(segments);
            const float scale = dent ? dent(phi, theta) : 1.0f;
            const glm::vec3 unit(std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta));
            source.vertices.push_back(glm::vec3(unit.x * width, unit.y * height, unit.z * depth) * 0.5f * scale);
            source.normals.push_back(unit);
        }
    }
    vantrel::SCNGeometryElement element;
    const auto at = [segments](int r, int s) { return static_cast<std::uint32_t>(r * (segments + 1) + s); };
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            // The poles' quads degenerate into single triangles.
            if (r > 0) element.indices.insert(element.indices.end(), {at(r, s), at(r, s + 1), at(r + 1, s)});
            if (r < rings - 1)
                element.indices.insert(element.indices.end(), {at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)});
        }
    }
    return vantrel::SCNGeometry::make(std::move(source), {std::move(element)});
}

}  // namespace vantrel_bench
