#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "vantrel/graph/SCNRevision.hpp"
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
    void setName(std::string name) {
        name_ = std::move(name);
        revision_.bump();
    }
    /// Kind of light, omni by default.
    [[nodiscard]] SCNLightType type() const noexcept { return type_; }
    /// Sets the kind of light.
    void setType(SCNLightType type) noexcept {
        type_ = type;
        revision_.bump();
    }
    /// Luminous flux in lumens (1000 by default, a typical bulb). The renderer reads 1000 as its unit
    /// strength: a directional light of 1000 gives a white matte surface facing it its own colour, and
    /// an inverse-square light of 1000 does so at a distance of 1. Physical units map as
    /// 1000 × value / π (glTF's lux for directional lights, candela for point and spot lights).
    [[nodiscard]] double intensity() const noexcept { return intensity_; }
    /// Sets the intensity.
    void setIntensity(double intensity) noexcept {
        intensity_ = intensity;
        revision_.bump();
    }
    /// Colour, white by default.
    [[nodiscard]] const UIColor& color() const noexcept { return color_; }
    /// Sets the colour.
    void setColor(const UIColor& color) noexcept {
        color_ = color;
        revision_.bump();
    }
    /// Colour temperature in kelvin that tints the colour; 6500 (neutral) by default.
    [[nodiscard]] double temperature() const noexcept { return temperature_; }
    /// Sets the colour temperature.
    void setTemperature(double kelvin) noexcept {
        temperature_ = kelvin;
        revision_.bump();
    }
    /// True when the light casts shadows (false by default).
    [[nodiscard]] bool castsShadow() const noexcept { return castsShadow_; }
    /// Sets whether the light casts shadows.
    void setCastsShadow(bool casts) noexcept {
        castsShadow_ = casts;
        revision_.bump();
    }
    /// How soft the edges of the light's shadows are: the radius of the filter over the shadow map,
    /// in its texels; 3 by default. 0 draws hard (still anti-aliased) edges.
    [[nodiscard]] double shadowRadius() const noexcept { return shadowRadius_; }
    /// Sets the shadow edges' radius (negative counts as 0).
    void setShadowRadius(double texels) noexcept {
        shadowRadius_ = texels > 0.0 ? texels : 0.0;
        revision_.bump();
    }
    /// Width and height in texels of the light's shadow map; 0 (the default) lets the renderer choose
    /// (2048). Clamped by the renderer to 256…4096.
    [[nodiscard]] int shadowMapSize() const noexcept { return shadowMapSize_; }
    /// Sets the shadow map's size.
    void setShadowMapSize(int texels) noexcept {
        shadowMapSize_ = texels;
        revision_.bump();
    }
    /// What a full shadow looks like: its alpha is the share of the light's contribution a shadow
    /// takes away (shadow-only materials draw their shadow in this colour at this opacity). Opaque
    /// black by default: a shadowed surface gets none of the light.
    [[nodiscard]] const UIColor& shadowColor() const noexcept { return shadowColor_; }
    /// Sets the shadows' colour and strength.
    void setShadowColor(const UIColor& color) noexcept {
        shadowColor_ = color;
        revision_.bump();
    }

    /// Angle in degrees of the fully lit inner cone of a spot light, 0 by default.
    [[nodiscard]] double spotInnerAngle() const noexcept { return spotInnerAngle_; }
    /// Sets the inner cone's angle.
    void setSpotInnerAngle(double degrees) noexcept {
        spotInnerAngle_ = degrees;
        revision_.bump();
    }
    /// Angle in degrees of a spot light's cone, beyond which it lights nothing; 45 by default.
    [[nodiscard]] double spotOuterAngle() const noexcept { return spotOuterAngle_; }
    /// Sets the outer cone's angle.
    void setSpotOuterAngle(double degrees) noexcept {
        spotOuterAngle_ = degrees;
        revision_.bump();
    }
    /// Distance up to which an omni or spot light shines at full strength, 0 by default.
    [[nodiscard]] double attenuationStartDistance() const noexcept { return attenuationStartDistance_; }
    /// Sets where the fall-off starts.
    void setAttenuationStartDistance(double distance) noexcept {
        attenuationStartDistance_ = distance;
        revision_.bump();
    }
    /// Distance from which the light shines no more; 0 (the default) means no fall-off at all.
    [[nodiscard]] double attenuationEndDistance() const noexcept { return attenuationEndDistance_; }
    /// Sets where the fall-off ends.
    void setAttenuationEndDistance(double distance) noexcept {
        attenuationEndDistance_ = distance;
        revision_.bump();
    }
    /// Shape of the fall-off between start and end: 1 linear, 2 (the default) quadratic.
    [[nodiscard]] double attenuationFalloffExponent() const noexcept { return attenuationFalloffExponent_; }
    /// Sets the shape of the fall-off.
    void setAttenuationFalloffExponent(double exponent) noexcept {
        attenuationFalloffExponent_ = exponent;
        revision_.bump();
    }
    /// True when an omni or spot light falls off with the inverse square of the distance, as physical
    /// lights do (glTF's punctual lights): `intensity` is then its strength at a distance of 1, and a
    /// non-zero end distance fades it smoothly to nothing there, as (1 − (d / end)⁴)² (start distance
    /// and exponent unused). False by default: full strength up to the start distance, falling to
    /// nothing at the end distance by the exponent, and no fall-off at all while the end distance is 0.
    [[nodiscard]] bool attenuatesWithInverseSquare() const noexcept { return inverseSquare_; }
    /// Sets whether the light falls off with the inverse square of the distance.
    void setAttenuatesWithInverseSquare(bool inverseSquare) noexcept {
        inverseSquare_ = inverseSquare;
        revision_.bump();
    }
    /// The light lights only nodes whose category bit mask shares a bit with this; all bits by default.
    [[nodiscard]] std::uint64_t categoryBitMask() const noexcept { return categoryBitMask_; }
    /// Sets which node categories the light lights.
    void setCategoryBitMask(std::uint64_t mask) noexcept {
        categoryBitMask_ = mask;
        revision_.bump();
    }

    /// Change stamp: grows with every change of the light (see detail::RevisionStamp).
    [[nodiscard]] std::uint64_t revision() const noexcept { return revision_.value(); }

private:
    std::string name_;
    SCNLightType type_ = SCNLightType::omni;
    double intensity_ = 1000.0;
    UIColor color_ = UIColor::whiteColor();
    double temperature_ = 6500.0;
    bool castsShadow_ = false;
    double shadowRadius_ = 3.0;
    int shadowMapSize_ = 0;
    UIColor shadowColor_ = UIColor::blackColor();
    double spotInnerAngle_ = 0.0;
    double spotOuterAngle_ = 45.0;
    double attenuationStartDistance_ = 0.0;
    double attenuationEndDistance_ = 0.0;
    double attenuationFalloffExponent_ = 2.0;
    bool inverseSquare_ = false;
    std::uint64_t categoryBitMask_ = std::numeric_limits<std::uint64_t>::max();
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
