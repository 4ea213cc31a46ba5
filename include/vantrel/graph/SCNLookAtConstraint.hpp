#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNConstraint.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

/// Turns a node so that its front (`localFront`, −Z by default, the way cameras and lights point)
/// faces a target node, with its up direction as close to `worldUp` as possible.
///
/// The target is held weakly, so a camera may look at its own parent without keeping it alive. When
/// the target is gone, sits on the node, or the node looks straight along `worldUp`, a fallback up
/// direction is used or the node keeps its orientation.
class SCNLookAtConstraint : public SCNConstraint {
public:
    /// A constraint looking at `target`.
    explicit SCNLookAtConstraint(const std::shared_ptr<SCNNode>& target);
    /// A new shared constraint looking at `target`.
    [[nodiscard]] static std::shared_ptr<SCNLookAtConstraint> make(const std::shared_ptr<SCNNode>& target) {
        return std::make_shared<SCNLookAtConstraint>(target);
    }

    /// The node looked at, or nullptr when it is gone.
    [[nodiscard]] std::shared_ptr<SCNNode> target() const { return target_.lock(); }
    /// Changes the node looked at.
    void setTarget(const std::shared_ptr<SCNNode>& target) { target_ = target; }
    /// The world direction the node's up axis leans towards, +Y by default.
    [[nodiscard]] const SCNVector3& worldUp() const noexcept { return worldUp_; }
    /// Sets the preferred up direction (a zero vector restores +Y).
    void setWorldUp(const SCNVector3& up) noexcept;
    /// The node's own axis that faces the target, −Z by default.
    [[nodiscard]] const SCNVector3& localFront() const noexcept { return localFront_; }
    /// Sets the facing axis (a zero vector restores −Z).
    void setLocalFront(const SCNVector3& front) noexcept;

    [[nodiscard]] glm::mat4 apply(const SCNNode& node, const glm::mat4& worldTransform,
                                  const SCNConstraintContext& context) const override;

private:
    std::weak_ptr<SCNNode> target_;
    SCNVector3 worldUp_{0.0f, 1.0f, 0.0f};
    SCNVector3 localFront_{0.0f, 0.0f, -1.0f};
};

}  // namespace vantrel

#pragma GCC visibility pop
