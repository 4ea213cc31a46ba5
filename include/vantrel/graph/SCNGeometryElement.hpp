#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

/// One part of a mesh drawn with one material: a triangle list, three vertex indices per face,
/// counter-clockwise when seen from the front.
struct SCNGeometryElement {
    std::vector<std::uint32_t> indices;  ///< Vertex indices, three per triangle.

    /// Number of triangles.
    [[nodiscard]] std::size_t primitiveCount() const noexcept { return indices.size() / 3; }
};

}  // namespace vantrel
