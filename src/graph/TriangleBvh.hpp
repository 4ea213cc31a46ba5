#pragma once

// A bounding-volume hierarchy over the triangles of one mesh, so that a ray meets only the few
// triangles near its path. Private to the scene graph; built once per mesh, on first use.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <glm/common.hpp>
#include <glm/vec3.hpp>

#include "vantrel/graph/SCNGeometryElement.hpp"
#include "vantrel/graph/SCNGeometrySource.hpp"

namespace vantrel::graph_internal {

class TriangleBvh {
public:
    /// One triangle: its vertex indices and where it sits in the mesh.
    struct Triangle {
        std::uint32_t a;
        std::uint32_t b;
        std::uint32_t c;
        std::uint32_t element;
        std::uint32_t face;
    };

    /// Builds over every triangle of `elements` (indices already validated against `source`).
    TriangleBvh(const SCNGeometrySource& source, const std::vector<SCNGeometryElement>& elements);

    /// Calls `visit(triangle, tMax)` for the triangles in leaves that the ray origin + t·direction,
    /// 0 ≤ t ≤ tMax, passes through, nearer leaves first. `visit` returns the new tMax (smaller after a
    /// hit when only the nearest hit matters, unchanged otherwise; a negative value ends the walk).
    template <typename Visit>
    void traverse(const glm::vec3& origin, const glm::vec3& direction, float tMax, Visit&& visit) const;

    /// Number of triangles.
    [[nodiscard]] std::size_t size() const noexcept { return triangles_.size(); }

private:
    struct Node {
        glm::vec3 lo;
        glm::vec3 hi;
        std::uint32_t first = 0;  // leaf: first triangle; inner: index of the second child
        std::uint32_t count = 0;  // leaf: number of triangles; 0 for an inner node
    };

    std::uint32_t build(const std::vector<glm::vec3>& vertices, const std::vector<glm::vec3>& centroids,
                        std::vector<std::uint32_t>& order, std::uint32_t first, std::uint32_t count, int depth);

    /// Entry distance of the ray into the box, or infinity when it misses within [0, tMax].
    static float enter(const Node& node, const glm::vec3& origin, const glm::vec3& inverse, float tMax) {
        const glm::vec3 t0 = (node.lo - origin) * inverse;
        const glm::vec3 t1 = (node.hi - origin) * inverse;
        const glm::vec3 near = glm::min(t0, t1);
        const glm::vec3 far = glm::max(t0, t1);
        const float tNear = std::max(std::max(near.x, near.y), std::max(near.z, 0.0f));
        const float tFar = std::min(std::min(far.x, far.y), std::min(far.z, tMax));
        return tNear <= tFar ? tNear : std::numeric_limits<float>::infinity();
    }

    std::vector<Triangle> triangles_;
    std::vector<Node> nodes_;
};

template <typename Visit>
void TriangleBvh::traverse(const glm::vec3& origin, const glm::vec3& direction, float tMax, Visit&& visit) const {
    if (nodes_.empty()) {
        return;
    }
    // 1/0 gives ±infinity, which the slab test handles; a zero component times an infinite slab
    // would give not-a-number, so nudge zero components instead.
    const auto safeInverse = [](float d) { return 1.0f / (d != 0.0f ? d : std::numeric_limits<float>::min()); };
    const glm::vec3 inverse(safeInverse(direction.x), safeInverse(direction.y), safeInverse(direction.z));
    if (enter(nodes_[0], origin, inverse, tMax) == std::numeric_limits<float>::infinity()) {
        return;
    }
    std::uint32_t stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        if (node.count > 0) {
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                tMax = visit(triangles_[i], tMax);
                if (tMax < 0.0f) {
                    return;
                }
            }
            continue;
        }
        const std::uint32_t leftIndex = static_cast<std::uint32_t>(&node - nodes_.data()) + 1;
        const std::uint32_t rightIndex = node.first;
        const float leftT = enter(nodes_[leftIndex], origin, inverse, tMax);
        const float rightT = enter(nodes_[rightIndex], origin, inverse, tMax);
        const float inf = std::numeric_limits<float>::infinity();
        // Push the farther child first so that the nearer one is visited first.
        if (leftT <= rightT) {
            if (rightT != inf) stack[top++] = rightIndex;
            if (leftT != inf) stack[top++] = leftIndex;
        } else {
            if (leftT != inf) stack[top++] = leftIndex;
            if (rightT != inf) stack[top++] = rightIndex;
        }
    }
}

}  // namespace vantrel::graph_internal
