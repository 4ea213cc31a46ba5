#include "vantrel/graph/SCNPlane.hpp"

#include <algorithm>
#include <cmath>

#include <glm/gtc/constants.hpp>

#include "MeshBuilder.hpp"

namespace vantrel {

using graph_internal::sanitizedExtent;

SCNPlane::SCNPlane(float width, float height) : width_(sanitizedExtent(width)), height_(sanitizedExtent(height)) {
    rebuild();
    setMaterials({SCNMaterial::make()});
}

std::shared_ptr<SCNGeometry> SCNPlane::copy() const { return std::make_shared<SCNPlane>(*this); }

void SCNPlane::setWidth(float width) {
    width_ = sanitizedExtent(width);
    rebuild();
}

void SCNPlane::setHeight(float height) {
    height_ = sanitizedExtent(height);
    rebuild();
}

void SCNPlane::setCornerRadius(float radius) {
    cornerRadius_ = sanitizedExtent(radius);
    rebuild();
}

void SCNPlane::setCornerSegmentCount(int count) {
    cornerSegmentCount_ = std::max(count, 1);
    rebuild();
}

void SCNPlane::rebuild() {
    const float halfWidth = width_ * 0.5f;
    const float halfHeight = height_ * 0.5f;
    const float radius = std::min({cornerRadius_, halfWidth, halfHeight});
    const glm::vec3 normal(0.0f, 0.0f, 1.0f);
    graph_internal::MeshBuilder mesh;
    mesh.beginElement();
    const auto vertexAt = [&](float x, float y) {
        const float u = width_ > 0.0f ? x / width_ + 0.5f : 0.5f;
        const float v = height_ > 0.0f ? 0.5f - y / height_ : 0.5f;
        return mesh.vertex({x, y, 0.0f}, normal, {u, v});
    };
    if (radius <= 0.0f) {
        mesh.quad(vertexAt(-halfWidth, -halfHeight), vertexAt(halfWidth, -halfHeight), vertexAt(halfWidth, halfHeight),
                  vertexAt(-halfWidth, halfHeight));
        setMesh(mesh.source(), mesh.elements());
        return;
    }
    // A fan around the centre over the outline: four quarter circles, counter-clockwise from the
    // bottom-right corner.
    const std::uint32_t centre = vertexAt(0.0f, 0.0f);
    const glm::vec2 corners[] = {{halfWidth - radius, -halfHeight + radius},
                                 {halfWidth - radius, halfHeight - radius},
                                 {-halfWidth + radius, halfHeight - radius},
                                 {-halfWidth + radius, -halfHeight + radius}};
    std::vector<std::uint32_t> outline;
    for (int c = 0; c < 4; ++c) {
        const float start = -glm::half_pi<float>() + static_cast<float>(c) * glm::half_pi<float>();
        for (int s = 0; s <= cornerSegmentCount_; ++s) {
            const float angle =
                start + glm::half_pi<float>() * static_cast<float>(s) / static_cast<float>(cornerSegmentCount_);
            outline.push_back(
                vertexAt(corners[c].x + radius * std::cos(angle), corners[c].y + radius * std::sin(angle)));
        }
    }
    for (std::size_t i = 0; i < outline.size(); ++i) {
        mesh.triangle(centre, outline[i], outline[(i + 1) % outline.size()]);
    }
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
