#include "vantrel/graph/SCNMaterial.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vantrel {

SCNMaterial::SCNMaterial() {
    // Maps that hold data rather than colours are read as stored.
    for (SCNMaterialProperty* data :
         {&metalness_, &roughness_, &normal_, &displacement_, &ambientOcclusion_, &clearCoat_, &clearCoatRoughness_,
          &clearCoatNormal_, &sheenRoughness_, &transmission_, &thickness_, &dielectricSpecular_}) {
        data->setColorSpace(SCNColorSpace::linear);
    }
}

void SCNMaterial::setAlphaCutoff(double cutoff) noexcept {
    alphaCutoff_ = std::isnan(cutoff) ? 0.5 : std::clamp(cutoff, 0.0, 1.0);
    revision_.bump();
}

void SCNMaterial::setIndexOfRefraction(double ior) noexcept {
    indexOfRefraction_ = std::isnan(ior) || (ior != 0.0 && ior < 1.0) ? 1.5 : ior;
    revision_.bump();
}

void SCNMaterial::setAttenuationDistance(double distance) noexcept {
    attenuationDistance_ = std::isnan(distance) || distance <= 0 ? std::numeric_limits<double>::infinity() : distance;
    revision_.bump();
}

std::uint64_t SCNMaterial::revision() const noexcept {
    std::uint64_t newest = revision_.value();
    for (const SCNMaterialProperty* property :
         {&diffuse_, &metalness_, &roughness_, &normal_, &displacement_, &selfIllumination_, &ambientOcclusion_,
          &ambient_, &specular_, &reflective_, &multiply_, &transparent_, &emission_, &clearCoat_, &clearCoatRoughness_,
          &clearCoatNormal_, &sheen_, &sheenRoughness_, &transmission_, &thickness_, &dielectricSpecular_,
          &dielectricSpecularColor_}) {
        newest = std::max(newest, property->revision());
    }
    return newest;
}

SCNMaterialProperty* SCNMaterial::propertyNamed(std::string_view name) noexcept {
    return const_cast<SCNMaterialProperty*>(std::as_const(*this).propertyNamed(name));
}

const SCNMaterialProperty* SCNMaterial::propertyNamed(std::string_view name) const noexcept {
    if (name == "diffuse") return &diffuse_;
    if (name == "metalness") return &metalness_;
    if (name == "roughness") return &roughness_;
    if (name == "normal") return &normal_;
    if (name == "displacement") return &displacement_;
    if (name == "selfIllumination") return &selfIllumination_;
    if (name == "ambientOcclusion") return &ambientOcclusion_;
    if (name == "ambient") return &ambient_;
    if (name == "specular") return &specular_;
    if (name == "reflective") return &reflective_;
    if (name == "multiply") return &multiply_;
    if (name == "transparent") return &transparent_;
    if (name == "emission") return &emission_;
    if (name == "clearCoat") return &clearCoat_;
    if (name == "clearCoatRoughness") return &clearCoatRoughness_;
    if (name == "clearCoatNormal") return &clearCoatNormal_;
    if (name == "sheen") return &sheen_;
    if (name == "sheenRoughness") return &sheenRoughness_;
    if (name == "transmission") return &transmission_;
    if (name == "thickness") return &thickness_;
    if (name == "dielectricSpecular") return &dielectricSpecular_;
    if (name == "dielectricSpecularColor") return &dielectricSpecularColor_;
    return nullptr;
}

}  // namespace vantrel
