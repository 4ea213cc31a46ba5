#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vantrel/graph/SCNBoundingVolume.hpp"
#include "vantrel/graph/SCNGeometryElement.hpp"
#include "vantrel/graph/SCNGeometrySource.hpp"
#include "vantrel/graph/SCNGeometryTessellator.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNRevision.hpp"

namespace vantrel {

/// A triangle mesh with materials, attached to nodes (`SCNNode::setGeometry`).
///
/// The mesh is vertex data (`source()`) plus one or more elements; element i is drawn with material
/// i modulo the number of materials, so a mesh with several parts can carry several materials.
/// Geometries are shared by reference: node clones show the same geometry, and changing its materials
/// changes every node that shows it. `copy()` gives a geometry with the same (shared, immutable) mesh
/// and its own list of materials.
///
/// The built-in shapes (SCNBox, SCNPlane, SCNCylinder, SCNCone, SCNText, SCNFloor) derive from it,
/// start with one default material (white diffuse) and rebuild their mesh whenever a parameter
/// changes. A geometry made from mesh data starts without materials. Used from the main thread only.
class SCNGeometry {
public:
    /// An empty geometry.
    SCNGeometry();
    virtual ~SCNGeometry();

    /// A geometry from mesh data (see `setMesh` for how bad data is treated).
    [[nodiscard]] static std::shared_ptr<SCNGeometry> make(SCNGeometrySource source,
                                                           std::vector<SCNGeometryElement> elements);

    /// A copy sharing the mesh, with its own list of (shared) materials and the same name and
    /// tessellator. Shapes copy their parameters too.
    [[nodiscard]] virtual std::shared_ptr<SCNGeometry> copy() const;

    /// Name, empty by default.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Sets the name.
    void setName(std::string name) {
        name_ = std::move(name);
        revision_.bump();
    }

    /// An id unique to this geometry for the life of the process (a copy has its own), for renderers
    /// that key their caches by geometry: addresses of destroyed geometries are reused, ids never.
    [[nodiscard]] std::uint64_t geometryID() const noexcept { return geometryID_; }
    /// An id unique to the current mesh storage, shared by copies that share the mesh; it changes
    /// when the mesh is replaced. Renderers key vertex buffers by it.
    [[nodiscard]] std::uint64_t meshID() const noexcept;
    /// Change stamp: grows whenever the mesh, the list of materials, the tessellator or the name
    /// changes (not when a material itself changes: materials carry their own).
    [[nodiscard]] std::uint64_t revision() const noexcept { return revision_.value(); }

    /// Builds what hit tests need (the triangle hierarchy) now, so that the first tap does not pay
    /// for it on the main thread. Loaders call it on their own thread before handing the geometry
    /// over; it may run on any thread while nothing replaces the mesh, and costs nothing when done.
    void prepareForHitTesting() const;

    /// Vertex data.
    [[nodiscard]] const SCNGeometrySource& source() const noexcept;
    /// Index lists, one per part.
    [[nodiscard]] const std::vector<SCNGeometryElement>& elements() const noexcept;
    /// Replaces the mesh. Data from files is not trusted: normals, tangents, colours or
    /// texture-coordinate sets whose length differs from the number of positions are dropped, and
    /// triangles that name a vertex beyond the positions, or whose index list is cut short, are left out.
    void setMesh(SCNGeometrySource source, std::vector<SCNGeometryElement> elements);
    /// Total number of triangles.
    [[nodiscard]] std::size_t triangleCount() const noexcept;

    /// Materials, applied to the elements in turn.
    [[nodiscard]] const std::vector<std::shared_ptr<SCNMaterial>>& materials() const noexcept { return materials_; }
    /// Replaces the materials; null entries are dropped.
    void setMaterials(std::vector<std::shared_ptr<SCNMaterial>> materials);
    /// The first material, or nullptr.
    [[nodiscard]] std::shared_ptr<SCNMaterial> firstMaterial() const;
    /// Makes `material` the first material (adding it when there is none); nullptr removes the first.
    void setFirstMaterial(std::shared_ptr<SCNMaterial> material);
    /// The material that element `index` is drawn with, or nullptr when there are no materials.
    [[nodiscard]] std::shared_ptr<SCNMaterial> materialForElement(std::size_t index) const;

    /// A named set of materials the file offers instead of the geometry's own (glTF's material
    /// variants): the variant's name and the materials of the elements in turn.
    using MaterialVariant = std::pair<std::string, std::vector<std::shared_ptr<SCNMaterial>>>;
    /// The variants of this geometry's materials in the file's order; empty by default. Copies keep
    /// them; applying one is the model's business (`ModelNode::applyMaterialVariant`).
    [[nodiscard]] const std::vector<MaterialVariant>& materialVariants() const noexcept { return materialVariants_; }
    /// Sets the variants of this geometry's materials.
    void setMaterialVariants(std::vector<MaterialVariant> variants) { materialVariants_ = std::move(variants); }

    /// Surface subdivision for the renderer, or nullptr (none).
    [[nodiscard]] const std::shared_ptr<SCNGeometryTessellator>& tessellator() const noexcept { return tessellator_; }
    /// Sets or clears (nullptr) the surface subdivision.
    void setTessellator(std::shared_ptr<SCNGeometryTessellator> tessellator) {
        tessellator_ = std::move(tessellator);
        revision_.bump();
    }

    /// Box around all positions in the geometry's coordinates; the zero box when empty.
    [[nodiscard]] virtual SCNBoundingBox boundingBox() const;
    /// True when the geometry has something to bound (an empty mesh has not).
    [[nodiscard]] virtual bool hasBounds() const;

    /// Shared, immutable mesh storage; also carries caches that hit tests build on demand.
    struct Mesh;
    /// The mesh storage (for the hit tester and renderers that cache by mesh identity).
    [[nodiscard]] const std::shared_ptr<const Mesh>& mesh() const noexcept { return mesh_; }

protected:
    SCNGeometry(const SCNGeometry& other);
    SCNGeometry& operator=(const SCNGeometry&) = delete;

private:
    std::string name_;
    std::shared_ptr<const Mesh> mesh_;
    std::vector<std::shared_ptr<SCNMaterial>> materials_;
    std::shared_ptr<SCNGeometryTessellator> tessellator_;
    std::vector<MaterialVariant> materialVariants_;
    std::uint64_t geometryID_ = detail::RevisionStamp::next();
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
