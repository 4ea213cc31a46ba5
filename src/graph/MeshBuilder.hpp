#pragma once

// Accumulates vertices and elements for the built-in shapes. Private to the scene graph.

#include <cstdint>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "vantrel/graph/SCNGeometryElement.hpp"
#include "vantrel/graph/SCNGeometrySource.hpp"

namespace vantrel::graph_internal {

class MeshBuilder {
public:
    /// Adds a vertex and returns its index.
    std::uint32_t vertex(const glm::vec3& position, const glm::vec3& normal, const glm::vec2& uv) {
        positions_.push_back(position);
        normals_.push_back(normal);
        uvs_.push_back(uv);
        return static_cast<std::uint32_t>(positions_.size() - 1);
    }
    /// Starts a new element; following triangles go into it.
    void beginElement() { elements_.emplace_back(); }
    /// Adds a triangle (counter-clockwise seen from the front) to the current element.
    void triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        if (elements_.empty()) {
            beginElement();
        }
        auto& indices = elements_.back().indices;
        indices.insert(indices.end(), {a, b, c});
    }
    /// Adds the quad a-b-c-d (counter-clockwise seen from the front) as two triangles.
    void quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        triangle(a, b, c);
        triangle(a, c, d);
    }

    /// The vertex data collected.
    [[nodiscard]] SCNGeometrySource source() const { return {positions_, normals_, {uvs_}}; }
    /// The elements collected.
    [[nodiscard]] const std::vector<SCNGeometryElement>& elements() const { return elements_; }

private:
    std::vector<glm::vec3> positions_;
    std::vector<glm::vec3> normals_;
    std::vector<glm::vec2> uvs_;
    std::vector<SCNGeometryElement> elements_;
};

/// A size that is not negative and not a number (those become 0).
inline float sanitizedExtent(float value) { return value > 0.0f ? value : 0.0f; }

}  // namespace vantrel::graph_internal
