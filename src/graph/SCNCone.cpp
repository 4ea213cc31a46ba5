#include "vantrel/graph/SCNCone.hpp"

#include <algorithm>

#include "RevolvedMesh.hpp"

namespace vantrel {

using graph_internal::sanitizedExtent;

SCNCone::SCNCone(float topRadius, float bottomRadius, float height)
    : topRadius_(sanitizedExtent(topRadius)),
      bottomRadius_(sanitizedExtent(bottomRadius)),
      height_(sanitizedExtent(height)) {
    rebuild();
    setMaterials({SCNMaterial::make()});
}

std::shared_ptr<SCNGeometry> SCNCone::copy() const { return std::make_shared<SCNCone>(*this); }

void SCNCone::setTopRadius(float radius) {
    topRadius_ = sanitizedExtent(radius);
    rebuild();
}

void SCNCone::setBottomRadius(float radius) {
    bottomRadius_ = sanitizedExtent(radius);
    rebuild();
}

void SCNCone::setHeight(float height) {
    height_ = sanitizedExtent(height);
    rebuild();
}

void SCNCone::setRadialSegmentCount(int count) {
    radialSegmentCount_ = std::max(count, 3);
    rebuild();
}

void SCNCone::rebuild() {
    graph_internal::MeshBuilder mesh;
    graph_internal::buildRevolvedSide(mesh, bottomRadius_, topRadius_, height_, radialSegmentCount_);
    graph_internal::buildCap(mesh, bottomRadius_, -height_ * 0.5f, false, radialSegmentCount_);
    if (topRadius_ > 0.0f) {
        graph_internal::buildCap(mesh, topRadius_, height_ * 0.5f, true, radialSegmentCount_);
    }
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
