#include "vantrel/graph/SCNBox.hpp"

#include "MeshBuilder.hpp"

namespace vantrel {

using graph_internal::sanitizedExtent;

SCNBox::SCNBox(float width, float height, float length)
    : width_(sanitizedExtent(width)), height_(sanitizedExtent(height)), length_(sanitizedExtent(length)) {
    rebuild();
    setMaterials({SCNMaterial::make()});
}

std::shared_ptr<SCNGeometry> SCNBox::copy() const { return std::make_shared<SCNBox>(*this); }

void SCNBox::setWidth(float width) {
    width_ = sanitizedExtent(width);
    rebuild();
}

void SCNBox::setHeight(float height) {
    height_ = sanitizedExtent(height);
    rebuild();
}

void SCNBox::setLength(float length) {
    length_ = sanitizedExtent(length);
    rebuild();
}

void SCNBox::rebuild() {
    struct Face {
        glm::vec3 normal;
        glm::vec3 right;  // right × up = normal, so the corners below run counter-clockwise
        glm::vec3 up;
    };
    const Face faces[] = {
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},    // front
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},   // right
        {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},  // back
        {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   // left
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},   // top
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},   // bottom
    };
    const glm::vec3 half(width_ * 0.5f, height_ * 0.5f, length_ * 0.5f);
    graph_internal::MeshBuilder mesh;
    for (const Face& face : faces) {
        mesh.beginElement();
        const glm::vec3 centre = face.normal * half;
        const glm::vec3 right = face.right * half;
        const glm::vec3 up = face.up * half;
        const auto corner = [&](float s, float t) {
            return mesh.vertex(centre + right * s + up * t, face.normal, {(s + 1.0f) * 0.5f, (1.0f - t) * 0.5f});
        };
        mesh.quad(corner(-1, -1), corner(1, -1), corner(1, 1), corner(-1, 1));
    }
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
