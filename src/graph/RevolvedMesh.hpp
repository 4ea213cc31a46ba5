#pragma once

// Shared pieces of the cylinder and the cone. Private to the scene graph.

#include "MeshBuilder.hpp"

namespace vantrel::graph_internal {

/// Adds an element with the side of a (truncated) cone around Y from −height/2 (radius
/// `bottomRadius`) to +height/2 (radius `topRadius`), facing outwards.
void buildRevolvedSide(MeshBuilder& mesh, float bottomRadius, float topRadius, float height, int segments);
/// Adds an element with a disc of `radius` at height `y`, facing +Y when `facingUp`, else −Y.
void buildCap(MeshBuilder& mesh, float radius, float y, bool facingUp, int segments);

}  // namespace vantrel::graph_internal
