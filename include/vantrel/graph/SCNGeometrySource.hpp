#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

namespace vantrel {

/// The per-vertex data of a mesh, shared by all its elements: positions, and optionally normals,
/// tangents, vertex colours and any number of texture-coordinate sets (the channels that
/// `SCNMaterialProperty::mappingChannel` selects). Every present array has one entry per position.
struct SCNGeometrySource {
    std::vector<glm::vec3> vertices;                         ///< Positions in the geometry's coordinates.
    std::vector<glm::vec3> normals;                          ///< Unit normals, or empty.
    std::vector<std::vector<glm::vec2>> textureCoordinates;  ///< Texture-coordinate sets, each per vertex.
    /// Unit tangents along the first texture coordinate's u in x, y, z, and in w the handedness
    /// (±1) that gives the bitangent as w · cross(normal, tangent); or empty.
    std::vector<glm::vec4> tangents{};
    /// Linear RGBA colours multiplied into the material's base colour, or empty.
    std::vector<glm::vec4> colors{};
};

}  // namespace vantrel

#pragma GCC visibility pop
