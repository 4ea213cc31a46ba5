#pragma once

// Accessors of a glTF file turned into plain arrays: any component type (quantized ones too,
// normalized or not), interleaved or packed views, sparse substitutions. Every count is checked
// against the views and the budgets before the arrays are allocated.

#include "graph/import/GltfDocument.hpp"

#include <cstdint>
#include <vector>

namespace vantrel::detail {

/// The values of a vertex accessor as floats, `components` per element.
struct GltfFloats {
    std::vector<float> values;
    int components = 0;
    [[nodiscard]] std::size_t count() const noexcept { return components ? values.size() / components : 0; }
};

/// The element count accessor `index` declares, after checking it exists.
std::uint64_t gltfAccessorCount(GltfDocument& document, std::size_t index);

/// Reads vertex accessor `index` whose element must have one of `allowedComponents` components.
/// Integer components become floats, divided into 0…1 or −1…1 when the accessor is normalized.
GltfFloats readGltfFloats(GltfDocument& document, std::size_t index, std::initializer_list<int> allowedComponents);

/// Reads index accessor `index` (unsigned 8, 16 or 32-bit scalars).
std::vector<std::uint32_t> readGltfIndices(GltfDocument& document, std::size_t index);

/// Turns a component of glTF type `componentType` at `bytes` into a float, normalized or not.
float gltfComponent(const std::uint8_t* bytes, int componentType, bool normalized);

}  // namespace vantrel::detail
