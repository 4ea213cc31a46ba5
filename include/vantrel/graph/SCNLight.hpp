#pragma once

#include <memory>
#include <string>

#include "vantrel/graph/UIColor.hpp"

namespace vantrel {

/// Kind of light source.
enum class SCNLightType {
    ambient,      ///< Lights everything equally from no direction.
    omni,         ///< A point light shining in every direction from the node's position.
    directional,  ///< Parallel rays along the node's −Z axis; position does not matter.
    spot,         ///< A cone along the node's −Z axis from the node's position.
};

/// A light source attached to a node (`SCNNode::setLight`). Shared by reference; node clones share it.
class SCNLight {
public:
    /// An omni light of intensity 1000, white, casting no shadows.
    SCNLight() = default;
    /// A new shared light of the given type.
    [[nodiscard]] static std::shared_ptr<SCNLight> make(SCNLightType type = SCNLightType::omni);

    /// Name, empty by default.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Sets the name.
    void setName(std::string name) { name_ = std::move(name); }
    /// Kind of light, omni by default.
    [[nodiscard]] SCNLightType type() const noexcept { return type_; }
    /// Sets the kind of light.
    void setType(SCNLightType type) noexcept { type_ = type; }
    /// Luminous flux in lumens (1000 by default, a typical bulb).
    [[nodiscard]] double intensity() const noexcept { return intensity_; }
    /// Sets the intensity.
    void setIntensity(double intensity) noexcept { intensity_ = intensity; }
    /// Colour, white by default.
    [[nodiscard]] const UIColor& color() const noexcept { return color_; }
    /// Sets the colour.
    void setColor(const UIColor& color) noexcept { color_ = color; }
    /// Colour temperature in kelvin that tints the colour; 6500 (neutral) by default.
    [[nodiscard]] double temperature() const noexcept { return temperature_; }
    /// Sets the colour temperature.
    void setTemperature(double kelvin) noexcept { temperature_ = kelvin; }
    /// True when the light casts shadows (false by default).
    [[nodiscard]] bool castsShadow() const noexcept { return castsShadow_; }
    /// Sets whether the light casts shadows.
    void setCastsShadow(bool casts) noexcept { castsShadow_ = casts; }

private:
    std::string name_;
    SCNLightType type_ = SCNLightType::omni;
    double intensity_ = 1000.0;
    UIColor color_ = UIColor::whiteColor();
    double temperature_ = 6500.0;
    bool castsShadow_ = false;
};

}  // namespace vantrel
