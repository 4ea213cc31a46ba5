#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <memory>

#include "vantrel/graph/SCNConstraint.hpp"

namespace vantrel {

/// Axes about which a billboard may turn (a bit set).
enum class SCNBillboardAxis : std::uint8_t {
    X = 1,    ///< Tilt up and down.
    Y = 2,    ///< Turn left and right.
    Z = 4,    ///< Roll (on its own it changes nothing).
    all = 7,  ///< Face the point of view fully.
};

/// Turns a node so that its front (+Z, the side text and planes show) faces the point of view.
///
/// With `Y` alone the node only turns about the world's vertical axis and stays upright, as labels
/// in the scene do; with `X` alone it only tilts; with both (or `all`) it faces the point of view
/// fully, keeping its up direction near +Y. Without a point of view the node keeps its orientation.
class SCNBillboardConstraint : public SCNConstraint {
public:
    /// A billboard free about every axis.
    SCNBillboardConstraint() = default;
    /// A billboard free about the given axes.
    explicit SCNBillboardConstraint(SCNBillboardAxis freeAxes) : freeAxes_(freeAxes) {}
    /// A new shared billboard.
    [[nodiscard]] static std::shared_ptr<SCNBillboardConstraint> make(
        SCNBillboardAxis freeAxes = SCNBillboardAxis::all) {
        return std::make_shared<SCNBillboardConstraint>(freeAxes);
    }

    /// The axes the node may turn about.
    [[nodiscard]] SCNBillboardAxis freeAxes() const noexcept { return freeAxes_; }
    /// Sets the axes the node may turn about.
    void setFreeAxes(SCNBillboardAxis axes) noexcept { freeAxes_ = axes; }

    [[nodiscard]] glm::mat4 apply(const SCNNode& node, const glm::mat4& worldTransform,
                                  const SCNConstraintContext& context) const override;

private:
    SCNBillboardAxis freeAxes_ = SCNBillboardAxis::all;
};

/// Combines billboard axes.
constexpr SCNBillboardAxis operator|(SCNBillboardAxis a, SCNBillboardAxis b) {
    return static_cast<SCNBillboardAxis>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}

}  // namespace vantrel

#pragma GCC visibility pop
