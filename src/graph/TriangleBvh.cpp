#include "TriangleBvh.hpp"

#include <cmath>

namespace vantrel::graph_internal {
namespace {

constexpr std::uint32_t kLeafSize = 8;
// The traversal stack holds at most one pending node per level.
constexpr int kMaxDepth = 60;

}  // namespace

TriangleBvh::TriangleBvh(const SCNGeometrySource& source, const std::vector<SCNGeometryElement>& elements) {
    for (std::size_t e = 0; e < elements.size(); ++e) {
        const auto& indices = elements[e].indices;
        for (std::size_t f = 0; f + 2 < indices.size(); f += 3) {
            const auto finite = [&](std::uint32_t i) {
                const glm::vec3& v = source.vertices[i];
                return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
            };
            // A triangle with a broken vertex cannot be hit, and would break the ordering below.
            if (!finite(indices[f]) || !finite(indices[f + 1]) || !finite(indices[f + 2])) {
                continue;
            }
            triangles_.push_back({indices[f], indices[f + 1], indices[f + 2], static_cast<std::uint32_t>(e),
                                  static_cast<std::uint32_t>(f / 3)});
        }
    }
    if (triangles_.empty()) {
        return;
    }
    std::vector<glm::vec3> centroids;
    centroids.reserve(triangles_.size());
    for (const auto& t : triangles_) {
        centroids.push_back((source.vertices[t.a] + source.vertices[t.b] + source.vertices[t.c]) / 3.0f);
    }
    // The build orders triangle numbers; the triangles themselves are put in that order once at the end.
    std::vector<std::uint32_t> order(triangles_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    nodes_.reserve(2 * triangles_.size() / kLeafSize + 1);
    build(source.vertices, centroids, order, 0, static_cast<std::uint32_t>(order.size()), 0);
    std::vector<Triangle> ordered;
    ordered.reserve(triangles_.size());
    for (std::uint32_t i : order) {
        ordered.push_back(triangles_[i]);
    }
    triangles_ = std::move(ordered);
}

std::uint32_t TriangleBvh::build(const std::vector<glm::vec3>& vertices, const std::vector<glm::vec3>& centroids,
                                 std::vector<std::uint32_t>& order, std::uint32_t first, std::uint32_t count,
                                 int depth) {
    const auto index = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
    glm::vec3 lo(std::numeric_limits<float>::max());
    glm::vec3 hi(std::numeric_limits<float>::lowest());
    glm::vec3 centroidLo = lo;
    glm::vec3 centroidHi = hi;
    for (std::uint32_t i = first; i < first + count; ++i) {
        const Triangle& t = triangles_[order[i]];
        for (std::uint32_t v : {t.a, t.b, t.c}) {
            lo = glm::min(lo, vertices[v]);
            hi = glm::max(hi, vertices[v]);
        }
        centroidLo = glm::min(centroidLo, centroids[order[i]]);
        centroidHi = glm::max(centroidHi, centroids[order[i]]);
    }
    nodes_[index].lo = lo;
    nodes_[index].hi = hi;

    const glm::vec3 extent = centroidHi - centroidLo;
    int axis = 0;
    if (extent.y > extent[axis]) axis = 1;
    if (extent.z > extent[axis]) axis = 2;
    if (count <= kLeafSize || depth >= kMaxDepth || !(extent[axis] > 0.0f)) {
        nodes_[index].first = first;
        nodes_[index].count = count;
        return index;
    }
    // Median split: balanced trees keep the traversal stack shallow whatever the mesh looks like.
    const std::uint32_t half = count / 2;
    const auto begin = order.begin() + first;
    std::nth_element(begin, begin + half, begin + count,
                     [&](std::uint32_t l, std::uint32_t r) { return centroids[l][axis] < centroids[r][axis]; });
    build(vertices, centroids, order, first, half, depth + 1);
    const std::uint32_t right = build(vertices, centroids, order, first + half, count - half, depth + 1);
    nodes_[index].first = right;
    nodes_[index].count = 0;
    return index;
}

}  // namespace vantrel::graph_internal
