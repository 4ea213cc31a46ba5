#pragma once

// glTF meshes as scene-graph geometry: one geometry per mesh, one element per triangle primitive,
// the primitives' vertices side by side. Plain, quantized, Draco-compressed and meshopt-compressed
// primitives give the same result.

#include "graph/import/GltfDocument.hpp"
#include "graph/import/ImportedScene.hpp"

namespace vantrel::detail {

/// Builds the geometries of one file and keeps the triangle and vertex budgets over all of them.
class GltfMeshes {
public:
    /// `defaultMaterial` is the index primitives without a material get; positions are multiplied
    /// by `scale` (meters per unit of the file).
    GltfMeshes(GltfDocument& document, std::size_t defaultMaterial, double scale)
        : document_(document), defaultMaterial_(defaultMaterial), scale_(static_cast<float>(scale)) {}

    /// The geometry of mesh `index`; nullopt when it has no triangles.
    std::optional<ImportedGeometry> geometry(std::size_t index, std::size_t variantCount);

private:
    GltfDocument& document_;
    std::size_t defaultMaterial_;
    float scale_;
    std::uint64_t triangles_ = 0;
    std::uint64_t vertices_ = 0;
};

}  // namespace vantrel::detail
