#include "vantrel/graph/SCNFloor.hpp"

#include "MeshBuilder.hpp"

namespace vantrel {

using graph_internal::sanitizedExtent;

SCNFloor::SCNFloor() { setMaterials({SCNMaterial::make()}); }

std::shared_ptr<SCNGeometry> SCNFloor::copy() const { return std::make_shared<SCNFloor>(*this); }

void SCNFloor::setWidth(float width) {
    width_ = sanitizedExtent(width);
    rebuild();
}

void SCNFloor::setLength(float length) {
    length_ = sanitizedExtent(length);
    rebuild();
}

SCNBoundingBox SCNFloor::boundingBox() const { return isEndless() ? SCNBoundingBox{} : SCNGeometry::boundingBox(); }

bool SCNFloor::hasBounds() const { return !isEndless() && SCNGeometry::hasBounds(); }

void SCNFloor::rebuild() {
    graph_internal::MeshBuilder mesh;
    if (!isEndless()) {
        const float x = width_ * 0.5f;
        const float z = length_ * 0.5f;
        const glm::vec3 up(0.0f, 1.0f, 0.0f);
        mesh.beginElement();
        mesh.quad(mesh.vertex({-x, 0.0f, z}, up, {0.0f, 1.0f}), mesh.vertex({x, 0.0f, z}, up, {1.0f, 1.0f}),
                  mesh.vertex({x, 0.0f, -z}, up, {1.0f, 0.0f}), mesh.vertex({-x, 0.0f, -z}, up, {0.0f, 0.0f}));
    }
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
