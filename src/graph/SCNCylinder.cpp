#include "vantrel/graph/SCNCylinder.hpp"

#include <algorithm>

#include "RevolvedMesh.hpp"

namespace vantrel {

using graph_internal::sanitizedExtent;

SCNCylinder::SCNCylinder(float radius, float height)
    : radius_(sanitizedExtent(radius)), height_(sanitizedExtent(height)) {
    rebuild();
    setMaterials({SCNMaterial::make()});
}

std::shared_ptr<SCNGeometry> SCNCylinder::copy() const { return std::make_shared<SCNCylinder>(*this); }

void SCNCylinder::setRadius(float radius) {
    radius_ = sanitizedExtent(radius);
    rebuild();
}

void SCNCylinder::setHeight(float height) {
    height_ = sanitizedExtent(height);
    rebuild();
}

void SCNCylinder::setRadialSegmentCount(int count) {
    radialSegmentCount_ = std::max(count, 3);
    rebuild();
}

void SCNCylinder::rebuild() {
    graph_internal::MeshBuilder mesh;
    graph_internal::buildRevolvedSide(mesh, radius_, radius_, height_, radialSegmentCount_);
    graph_internal::buildCap(mesh, radius_, height_ * 0.5f, true, radialSegmentCount_);
    graph_internal::buildCap(mesh, radius_, -height_ * 0.5f, false, radialSegmentCount_);
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
