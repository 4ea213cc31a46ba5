#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "vantrel/graph/SCNMaterialProperty.hpp"

namespace vantrel {

/// The shading formula of a material.
enum class SCNLightingModel {
    blinn,            ///< Blinn-Phong.
    phong,            ///< Phong.
    lambert,          ///< Diffuse only.
    constant,         ///< Unlit: the diffuse contents as they are.
    physicallyBased,  ///< Metalness and roughness.
    shadowOnly,       ///< Shows only received shadows.
};

/// Which component of the transparent property gives opacity. The numbers are the platform's.
enum class SCNTransparencyMode {
    aOne = 0,         ///< The alpha channel; 1 is opaque.
    rgbZero = 1,      ///< The colour's luminance; 0 is opaque.
    singleLayer = 2,  ///< Alpha, drawn in one pass.
    dualLayer = 3,    ///< Alpha, back faces before front faces.
};

/// How a material's colour combines with what is already drawn. The numbers are the platform's.
enum class SCNBlendMode {
    alpha = 0,     ///< Over, weighted by alpha.
    add = 1,       ///< Sum.
    subtract = 2,  ///< Difference.
    multiply = 3,  ///< Product.
    screen = 4,    ///< Inverse product of inverses.
    replace = 5,   ///< Overwrite.
    max = 6,       ///< Component-wise maximum.
};

/// Which faces are not drawn.
enum class SCNCullMode {
    back = 0,   ///< Faces turned away from the viewer.
    front = 1,  ///< Faces turned towards the viewer.
};

/// How the alpha of a material's colour is used.
enum class SCNAlphaMode {
    blend,   ///< Alpha blends the surface with what is behind it (the default).
    mask,    ///< Fully opaque where alpha reaches `alphaCutoff`, not drawn elsewhere.
    opaque,  ///< Alpha is ignored: the surface is opaque.
};

/// How a surface looks: a lighting model, transparency and blending settings and one property per
/// visual aspect. Materials are shared by reference between geometries (`std::shared_ptr`).
///
/// Used from the main thread only.
class SCNMaterial {
public:
    /// A new material with the platform's defaults: white diffuse, Blinn lighting, opaque.
    SCNMaterial();
    /// A new shared material.
    [[nodiscard]] static std::shared_ptr<SCNMaterial> make() { return std::make_shared<SCNMaterial>(); }
    /// An independent copy with the same settings and contents.
    [[nodiscard]] std::shared_ptr<SCNMaterial> copy() const { return std::make_shared<SCNMaterial>(*this); }

    /// Name, empty by default.
    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    /// Sets the name.
    void setName(std::string name) {
        name_ = std::move(name);
        revision_.bump();
    }

    /// Base colour or texture; white by default.
    SCNMaterialProperty& diffuse() noexcept { return diffuse_; }
    [[nodiscard]] const SCNMaterialProperty& diffuse() const noexcept { return diffuse_; }
    /// Metalness for physically based lighting; 0 by default.
    SCNMaterialProperty& metalness() noexcept { return metalness_; }
    [[nodiscard]] const SCNMaterialProperty& metalness() const noexcept { return metalness_; }
    /// Roughness for physically based lighting; 0.5 by default.
    SCNMaterialProperty& roughness() noexcept { return roughness_; }
    [[nodiscard]] const SCNMaterialProperty& roughness() const noexcept { return roughness_; }
    /// Tangent-space normal map; empty by default.
    SCNMaterialProperty& normal() noexcept { return normal_; }
    [[nodiscard]] const SCNMaterialProperty& normal() const noexcept { return normal_; }
    /// Displacement map; empty by default.
    SCNMaterialProperty& displacement() noexcept { return displacement_; }
    [[nodiscard]] const SCNMaterialProperty& displacement() const noexcept { return displacement_; }
    /// Light emitted by the surface under physically based lighting; black by default.
    SCNMaterialProperty& selfIllumination() noexcept { return selfIllumination_; }
    [[nodiscard]] const SCNMaterialProperty& selfIllumination() const noexcept { return selfIllumination_; }
    /// Ambient occlusion map; white (no occlusion) by default.
    SCNMaterialProperty& ambientOcclusion() noexcept { return ambientOcclusion_; }
    [[nodiscard]] const SCNMaterialProperty& ambientOcclusion() const noexcept { return ambientOcclusion_; }
    /// Response to ambient light; black by default and ignored while locked with the diffuse.
    SCNMaterialProperty& ambient() noexcept { return ambient_; }
    [[nodiscard]] const SCNMaterialProperty& ambient() const noexcept { return ambient_; }
    /// Specular highlight colour; black by default.
    SCNMaterialProperty& specular() noexcept { return specular_; }
    [[nodiscard]] const SCNMaterialProperty& specular() const noexcept { return specular_; }
    /// Reflected environment; black (none) by default.
    SCNMaterialProperty& reflective() noexcept { return reflective_; }
    [[nodiscard]] const SCNMaterialProperty& reflective() const noexcept { return reflective_; }
    /// Colour multiplied into the result; white by default.
    SCNMaterialProperty& multiply() noexcept { return multiply_; }
    [[nodiscard]] const SCNMaterialProperty& multiply() const noexcept { return multiply_; }
    /// Opacity mask; white (opaque under aOne) by default.
    SCNMaterialProperty& transparent() noexcept { return transparent_; }
    [[nodiscard]] const SCNMaterialProperty& transparent() const noexcept { return transparent_; }
    /// Emitted colour under the classic lighting models; black by default.
    SCNMaterialProperty& emission() noexcept { return emission_; }
    [[nodiscard]] const SCNMaterialProperty& emission() const noexcept { return emission_; }


    // Physically based layers beyond metalness and roughness (glTF's material extensions). Each
    // holds a number or colour, or an image whose strength is the property's intensity (and whose
    // colour factor is its tint); all are empty or zero by default, which leaves the layer off.

    /// Strength of a clear coat over the surface, 0 (none) by default (red channel of an image).
    SCNMaterialProperty& clearCoat() noexcept { return clearCoat_; }
    [[nodiscard]] const SCNMaterialProperty& clearCoat() const noexcept { return clearCoat_; }
    /// Roughness of the clear coat, 0 by default (green channel of an image).
    SCNMaterialProperty& clearCoatRoughness() noexcept { return clearCoatRoughness_; }
    [[nodiscard]] const SCNMaterialProperty& clearCoatRoughness() const noexcept { return clearCoatRoughness_; }
    /// Tangent-space normal map of the clear coat; empty (the geometry's normals) by default.
    SCNMaterialProperty& clearCoatNormal() noexcept { return clearCoatNormal_; }
    [[nodiscard]] const SCNMaterialProperty& clearCoatNormal() const noexcept { return clearCoatNormal_; }
    /// Colour of the sheen of cloth at grazing angles, black (none) by default (RGB of an image).
    SCNMaterialProperty& sheen() noexcept { return sheen_; }
    [[nodiscard]] const SCNMaterialProperty& sheen() const noexcept { return sheen_; }
    /// Roughness of the sheen, 0 by default (alpha channel of an image).
    SCNMaterialProperty& sheenRoughness() noexcept { return sheenRoughness_; }
    [[nodiscard]] const SCNMaterialProperty& sheenRoughness() const noexcept { return sheenRoughness_; }
    /// Share of light that passes through the surface (thin glass), 0 by default (red channel).
    SCNMaterialProperty& transmission() noexcept { return transmission_; }
    [[nodiscard]] const SCNMaterialProperty& transmission() const noexcept { return transmission_; }
    /// Thickness of the volume under the surface, in the geometry's units, 0 (thin-walled) by
    /// default (green channel of an image).
    SCNMaterialProperty& thickness() noexcept { return thickness_; }
    [[nodiscard]] const SCNMaterialProperty& thickness() const noexcept { return thickness_; }
    /// Strength of the specular reflection of non-metals, 1 by default (alpha channel of an image).
    SCNMaterialProperty& dielectricSpecular() noexcept { return dielectricSpecular_; }
    [[nodiscard]] const SCNMaterialProperty& dielectricSpecular() const noexcept { return dielectricSpecular_; }
    /// Colour of the specular reflection of non-metals, white by default (RGB of an image).
    SCNMaterialProperty& dielectricSpecularColor() noexcept { return dielectricSpecularColor_; }
    [[nodiscard]] const SCNMaterialProperty& dielectricSpecularColor() const noexcept {
        return dielectricSpecularColor_;
    }

    /// Index of refraction of the material, 1.5 by default.
    [[nodiscard]] double indexOfRefraction() const noexcept { return indexOfRefraction_; }
    /// Sets the index of refraction (not-a-number or below 1 counts as 1.5; 0 is kept, as glTF's
    /// way of saying "fully reflective").
    void setIndexOfRefraction(double ior) noexcept;
    /// Distance light travels in the volume before its colour becomes `attenuationColor`; infinite
    /// (no absorption) by default.
    [[nodiscard]] double attenuationDistance() const noexcept { return attenuationDistance_; }
    /// Sets the attenuation distance (not positive or not-a-number counts as infinite).
    void setAttenuationDistance(double distance) noexcept;
    /// Colour that white light becomes after `attenuationDistance` in the volume, white by default;
    /// linear light.
    [[nodiscard]] const UIColor& attenuationColor() const noexcept { return attenuationColor_; }
    /// Sets the attenuation colour.
    void setAttenuationColor(const UIColor& color) noexcept {
        attenuationColor_ = color;
        revision_.bump();
    }

    /// The property of the given name ("diffuse", "metalness", "roughness", "normal", "displacement",
    /// "selfIllumination", "ambientOcclusion", "ambient", "specular", "reflective", "multiply",
    /// "transparent", "emission", "clearCoat", "clearCoatRoughness", "clearCoatNormal", "sheen",
    /// "sheenRoughness", "transmission", "thickness", "dielectricSpecular", "dielectricSpecularColor");
    /// nullptr for any other name.
    [[nodiscard]] SCNMaterialProperty* propertyNamed(std::string_view name) noexcept;
    [[nodiscard]] const SCNMaterialProperty* propertyNamed(std::string_view name) const noexcept;

    /// Shading formula, Blinn by default.
    [[nodiscard]] SCNLightingModel lightingModel() const noexcept { return lightingModel_; }
    /// Sets the shading formula.
    void setLightingModel(SCNLightingModel model) noexcept {
        lightingModel_ = model;
        revision_.bump();
    }
    /// Overall opacity, 1 (opaque) by default.
    [[nodiscard]] double transparency() const noexcept { return transparency_; }
    /// Sets the overall opacity.
    void setTransparency(double transparency) noexcept {
        transparency_ = transparency;
        revision_.bump();
    }
    /// How the transparent property gives opacity, aOne by default.
    [[nodiscard]] SCNTransparencyMode transparencyMode() const noexcept { return transparencyMode_; }
    /// Sets the transparency mode.
    void setTransparencyMode(SCNTransparencyMode mode) noexcept {
        transparencyMode_ = mode;
        revision_.bump();
    }
    /// How the colour blends with what is behind, alpha by default.
    [[nodiscard]] SCNBlendMode blendMode() const noexcept { return blendMode_; }
    /// Sets the blend mode.
    void setBlendMode(SCNBlendMode mode) noexcept {
        blendMode_ = mode;
        revision_.bump();
    }
    /// Exponent of the Fresnel effect on reflections, 0 (none) by default.
    [[nodiscard]] double fresnelExponent() const noexcept { return fresnelExponent_; }
    /// Sets the Fresnel exponent.
    void setFresnelExponent(double exponent) noexcept {
        fresnelExponent_ = exponent;
        revision_.bump();
    }
    /// Sharpness of specular highlights, 1 by default.
    [[nodiscard]] double shininess() const noexcept { return shininess_; }
    /// Sets the sharpness of specular highlights.
    void setShininess(double shininess) noexcept {
        shininess_ = shininess;
        revision_.bump();
    }
    /// True when the ambient response follows the diffuse property (the default).
    [[nodiscard]] bool locksAmbientWithDiffuse() const noexcept { return locksAmbientWithDiffuse_; }
    /// Sets whether the ambient response follows the diffuse property.
    void setLocksAmbientWithDiffuse(bool locks) noexcept {
        locksAmbientWithDiffuse_ = locks;
        revision_.bump();
    }
    /// True when both sides of each face are drawn (false by default).
    [[nodiscard]] bool isDoubleSided() const noexcept { return doubleSided_; }
    /// Sets whether both sides are drawn.
    void setDoubleSided(bool doubleSided) noexcept {
        doubleSided_ = doubleSided;
        revision_.bump();
    }
    /// Which faces are not drawn when single-sided, back by default.
    [[nodiscard]] SCNCullMode cullMode() const noexcept { return cullMode_; }
    /// Sets which faces are not drawn.
    void setCullMode(SCNCullMode mode) noexcept {
        cullMode_ = mode;
        revision_.bump();
    }
    /// True when drawing writes depth (the default).
    [[nodiscard]] bool writesToDepthBuffer() const noexcept { return writesToDepthBuffer_; }
    /// Sets whether drawing writes depth.
    void setWritesToDepthBuffer(bool writes) noexcept {
        writesToDepthBuffer_ = writes;
        revision_.bump();
    }
    /// True when drawing tests depth (the default).
    [[nodiscard]] bool readsFromDepthBuffer() const noexcept { return readsFromDepthBuffer_; }
    /// Sets whether drawing tests depth.
    void setReadsFromDepthBuffer(bool reads) noexcept {
        readsFromDepthBuffer_ = reads;
        revision_.bump();
    }

    /// How the colour's alpha is used, blend by default.
    [[nodiscard]] SCNAlphaMode alphaMode() const noexcept { return alphaMode_; }
    /// Sets how the colour's alpha is used.
    void setAlphaMode(SCNAlphaMode mode) noexcept {
        alphaMode_ = mode;
        revision_.bump();
    }
    /// The alpha from which a masked surface is drawn, 0.5 by default.
    [[nodiscard]] double alphaCutoff() const noexcept { return alphaCutoff_; }
    /// Sets the mask's cutoff (clamped to 0…1; not-a-number counts as 0.5).
    void setAlphaCutoff(double cutoff) noexcept;

    /// Change stamp: grows whenever the material or any of its properties changes, so a renderer
    /// compares one number per material (see detail::RevisionStamp).
    [[nodiscard]] std::uint64_t revision() const noexcept;

private:
    std::string name_;
    SCNMaterialProperty diffuse_{UIColor::whiteColor()};
    SCNMaterialProperty metalness_{0.0};
    SCNMaterialProperty roughness_{0.5};
    SCNMaterialProperty normal_;
    SCNMaterialProperty displacement_;
    SCNMaterialProperty selfIllumination_{UIColor::blackColor()};
    SCNMaterialProperty ambientOcclusion_{UIColor::whiteColor()};
    SCNMaterialProperty ambient_{UIColor::blackColor()};
    SCNMaterialProperty specular_{UIColor::blackColor()};
    SCNMaterialProperty reflective_{UIColor::blackColor()};
    SCNMaterialProperty multiply_{UIColor::whiteColor()};
    SCNMaterialProperty transparent_{UIColor::whiteColor()};
    SCNMaterialProperty emission_{UIColor::blackColor()};
    SCNMaterialProperty clearCoat_{0.0};
    SCNMaterialProperty clearCoatRoughness_{0.0};
    SCNMaterialProperty clearCoatNormal_;
    SCNMaterialProperty sheen_{UIColor::blackColor()};
    SCNMaterialProperty sheenRoughness_{0.0};
    SCNMaterialProperty transmission_{0.0};
    SCNMaterialProperty thickness_{0.0};
    SCNMaterialProperty dielectricSpecular_{1.0};
    SCNMaterialProperty dielectricSpecularColor_{UIColor::whiteColor()};
    double indexOfRefraction_ = 1.5;
    double attenuationDistance_ = std::numeric_limits<double>::infinity();
    UIColor attenuationColor_ = UIColor::whiteColor();
    SCNLightingModel lightingModel_ = SCNLightingModel::blinn;
    double transparency_ = 1.0;
    SCNTransparencyMode transparencyMode_ = SCNTransparencyMode::aOne;
    SCNBlendMode blendMode_ = SCNBlendMode::alpha;
    double fresnelExponent_ = 0.0;
    double shininess_ = 1.0;
    bool locksAmbientWithDiffuse_ = true;
    bool doubleSided_ = false;
    SCNCullMode cullMode_ = SCNCullMode::back;
    bool writesToDepthBuffer_ = true;
    bool readsFromDepthBuffer_ = true;
    SCNAlphaMode alphaMode_ = SCNAlphaMode::blend;
    double alphaCutoff_ = 0.5;
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
