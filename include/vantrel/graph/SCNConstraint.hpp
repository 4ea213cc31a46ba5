#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <glm/mat4x4.hpp>

namespace vantrel {

class SCNNode;

/// What a constraint may need to know besides the node it adjusts.
struct SCNConstraintContext {
    /// The node the scene is seen from (its camera), or nullptr when there is none.
    const SCNNode* pointOfView = nullptr;
};

/// A rule that adjusts a node's presented world transform after its own and its parents' transforms
/// have been applied: the node keeps its model values, and what is shown (and hit-tested, and used
/// as a point of view) follows the rule. Constraints are shared by reference and may be attached to
/// several nodes.
class SCNConstraint {
public:
    virtual ~SCNConstraint();

    /// How strongly the rule applies, from 0 (not at all) to 1 (fully, the default); values in between
    /// blend the orientation.
    [[nodiscard]] double influenceFactor() const noexcept { return influenceFactor_; }
    /// Sets the strength (clamped to 0…1; not-a-number counts as 1).
    void setInfluenceFactor(double factor) noexcept;
    /// False to switch the rule off (true by default).
    [[nodiscard]] bool isEnabled() const noexcept { return enabled_; }
    /// Switches the rule on or off.
    void setEnabled(bool enabled) noexcept { enabled_ = enabled; }

    /// The world transform of `node` after the rule: `worldTransform` is the transform before it. The
    /// result must keep the node's world position.
    [[nodiscard]] virtual glm::mat4 apply(const SCNNode& node, const glm::mat4& worldTransform,
                                          const SCNConstraintContext& context) const = 0;

protected:
    SCNConstraint() = default;

    /// `worldTransform` with its rotation replaced by `rotation` (weighted by the influence factor),
    /// keeping its position and the lengths of its axes.
    [[nodiscard]] glm::mat4 withRotation(const glm::mat4& worldTransform, const glm::mat3& rotation) const;

private:
    double influenceFactor_ = 1.0;
    bool enabled_ = true;
};

}  // namespace vantrel

#pragma GCC visibility pop
