#include "RevolvedMesh.hpp"

#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/constants.hpp>

namespace vantrel::graph_internal {
namespace {

// Direction of segment boundary `i` in the XZ plane; angle 0 points to +Z and the angle grows
// towards +X, so that consecutive boundaries run counter-clockwise seen from the outside.
glm::vec2 around(int i, int segments) {
    const float angle = glm::two_pi<float>() * static_cast<float>(i) / static_cast<float>(segments);
    return {std::sin(angle), std::cos(angle)};
}

}  // namespace

void buildRevolvedSide(MeshBuilder& mesh, float bottomRadius, float topRadius, float height, int segments) {
    mesh.beginElement();
    const float halfHeight = height * 0.5f;
    for (int i = 0; i < segments; ++i) {
        const glm::vec2 d0 = around(i, segments);
        const glm::vec2 d1 = around(i + 1, segments);
        // The slanted side's normal leans up by (bottom − top) for every `height` outwards.
        const auto normal = [&](const glm::vec2& d) {
            const glm::vec3 n(d.x * height, bottomRadius - topRadius, d.y * height);
            const float length = glm::length(n);
            return length > 0.0f ? n / length : glm::vec3(d.x, 0.0f, d.y);
        };
        const float u0 = static_cast<float>(i) / static_cast<float>(segments);
        const float u1 = static_cast<float>(i + 1) / static_cast<float>(segments);
        const auto b0 = mesh.vertex({d0.x * bottomRadius, -halfHeight, d0.y * bottomRadius}, normal(d0), {u0, 1.0f});
        const auto b1 = mesh.vertex({d1.x * bottomRadius, -halfHeight, d1.y * bottomRadius}, normal(d1), {u1, 1.0f});
        const auto t1 = mesh.vertex({d1.x * topRadius, halfHeight, d1.y * topRadius}, normal(d1), {u1, 0.0f});
        if (topRadius > 0.0f) {
            const auto t0 = mesh.vertex({d0.x * topRadius, halfHeight, d0.y * topRadius}, normal(d0), {u0, 0.0f});
            mesh.quad(b0, b1, t1, t0);
        } else {
            mesh.triangle(b0, b1, t1);  // the top ring is a single point: the apex
        }
    }
}

void buildCap(MeshBuilder& mesh, float radius, float y, bool facingUp, int segments) {
    mesh.beginElement();
    const glm::vec3 normal(0.0f, facingUp ? 1.0f : -1.0f, 0.0f);
    const auto centre = mesh.vertex({0.0f, y, 0.0f}, normal, {0.5f, 0.5f});
    std::uint32_t previous = 0;
    for (int i = 0; i <= segments; ++i) {
        const glm::vec2 d = around(i, segments);
        const auto current =
            mesh.vertex({d.x * radius, y, d.y * radius}, normal, {0.5f + d.x * 0.5f, 0.5f + d.y * 0.5f});
        if (i > 0) {
            if (facingUp) {
                mesh.triangle(centre, previous, current);
            } else {
                mesh.triangle(centre, current, previous);
            }
        }
        previous = current;
    }
}

}  // namespace vantrel::graph_internal
