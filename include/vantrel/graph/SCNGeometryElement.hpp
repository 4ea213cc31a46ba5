#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel {

/// One part of a mesh drawn with one material: a triangle list, three vertex indices per face,
/// counter-clockwise when seen from the front.
///
/// Indices are held as 32-bit numbers; `bytesPerIndex` tells a renderer how wide to upload them (2 for
/// 16-bit indices, as most model files store them; 4 otherwise). A geometry widens an element to 4
/// when an index does not fit in 16 bits, and treats any other width as 4.
struct SCNGeometryElement {
    std::vector<std::uint32_t> indices;  ///< Vertex indices, three per triangle.
    int bytesPerIndex = 4;               ///< Upload width of the indices: 2 or 4.

    /// Number of triangles.
    [[nodiscard]] std::size_t primitiveCount() const noexcept { return indices.size() / 3; }
};

}  // namespace vantrel

#pragma GCC visibility pop
