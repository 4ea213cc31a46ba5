#include "vantrel/graph/SCNMaterial.hpp"

#include <utility>

namespace vantrel {

SCNMaterial::SCNMaterial() = default;

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
    return nullptr;
}

}  // namespace vantrel
