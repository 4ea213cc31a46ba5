#pragma once

// The statistics line drawn over a picture. Private to the renderer.

#include <string>
#include <vector>

#include <glm/vec3.hpp>

#include "vantrel/render/SCNView.hpp"

namespace vantrel::detail {

/// The text of the statistics line: "<frame time> ms  x<render scale>  <draw calls> draws  <triangles> tris".
[[nodiscard]] std::string statisticsText(const SCNRenderStatistics& statistics);

/// Triangles in clip space for a picture of `width` × `height` pixels: first the two of a dark
/// panel in the bottom-left corner, then the pixels of the statistics text in a small block font
/// whose dots are `dot` × `dot` pixels.
[[nodiscard]] std::vector<glm::vec3> statisticsOverlay(const SCNRenderStatistics& statistics, int width, int height,
                                                       float dot = 2.0f);

}  // namespace vantrel::detail
