#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <optional>

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "vantrel/graph/SCNBoundingVolume.hpp"

namespace vantrel {

class SCNNode;

/// Box around boxes carried into one frame. Each box is carried exactly (the box around its turned
/// corners) rather than nested boxes being boxed again, so that a turned part yields the box around
/// the part, not around its turned box. Boxes carried through a broken (not finite) transform are left
/// out, so that one bad node cannot poison a whole model.
class BoundsAccumulator {
public:
    /// Adds `box`, given in the coordinates that `frame` carries into the accumulator's frame.
    void add(const glm::mat4& frame, const SCNBoundingBox& box);
    /// Adds a box already in the accumulator's frame.
    void add(const glm::vec3& lo, const glm::vec3& hi);
    /// Adds the geometry of `node` and its whole subtree, `frame` carrying the node's coordinates into
    /// the accumulator's frame; each geometry's box is carried once through its accumulated transform.
    void addSubtree(const SCNNode& node, const glm::mat4& frame);

    /// The box around everything added, or nothing when nothing was.
    [[nodiscard]] std::optional<SCNBoundingBox> box() const;
    /// True while nothing has been added.
    [[nodiscard]] bool isEmpty() const noexcept { return !found_; }
    /// Lower corner (meaningful only when something was added).
    [[nodiscard]] const glm::vec3& lo() const noexcept { return lo_; }
    /// Upper corner (meaningful only when something was added).
    [[nodiscard]] const glm::vec3& hi() const noexcept { return hi_; }

private:
    glm::vec3 lo_{0.0f};
    glm::vec3 hi_{0.0f};
    bool found_ = false;
};

}  // namespace vantrel

#pragma GCC visibility pop
