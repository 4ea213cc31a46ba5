#pragma once

// Fills outlines made of closed contours (letters: outer shapes with holes) with triangles.
// Private to the scene graph.

#include <cstdint>
#include <optional>
#include <vector>

#include <glm/vec2.hpp>

namespace vantrel::graph_internal {

/// Contours cleaned and oriented so that the filled side lies on the left of the direction of
/// travel: outer contours counter-clockwise, holes clockwise.
struct PreparedContours {
    std::vector<std::vector<glm::dvec2>> contours;
    /// For each contour: −1 for an outer contour, else the index of the outer contour it is a hole in.
    std::vector<int> parent;
};

/// Cleans raw contours (drops repeated points, closing duplicates and contours without area) and
/// sorts them into outer contours and holes.
///
/// When the outline's convention is known (`outerCounterClockwise`: fonts say whether their outer
/// contours run counter-clockwise), a contour wound the other way is a hole of the smallest outer
/// contour around it; this keeps overlapping parts (a letter and its cedilla) filled. Otherwise
/// nesting decides, whatever the winding: contours inside an even number of others are outer.
PreparedContours prepareContours(const std::vector<std::vector<glm::dvec2>>& contours,
                                 std::optional<bool> outerCounterClockwise = std::nullopt);

/// Triangles filling the prepared contours, three indices per triangle into the contours' points taken
/// one contour after another, counter-clockwise. Never fails: a contour it cannot split cleanly still
/// comes out fully covered, if with some overlapping triangles.
std::vector<std::uint32_t> triangulate(const PreparedContours& prepared);

}  // namespace vantrel::graph_internal
