#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"
#include "vantrel/graph/CGFloat.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

/// A material's description, from its "scnProperties": lighting model, transparency and blending
/// settings and up to twelve visual properties. The settings stored by name are compared exactly;
/// an unknown name gives the default.
class ScnMaterialPropertiesEntity : public EmbeddedRecord<ScnMaterialPropertiesEntity> {
public:
    /// The names of the twelve properties, in the order materials apply them. Each is a key of
    /// this record and the name of the rendering material's property of that name.
    static constexpr std::array<std::string_view, 12> propertyNames{
        "diffuse",          "metalness", "roughness", "normal",     "displacement", "selfIllumination",
        "ambientOcclusion", "ambient",   "specular",  "reflective", "multiply",     "transparent"};

    /// "shininess"; 1 by default.
    [[nodiscard]] CGFloat shininess() const;
    /// "fresnelExponent"; 0 by default.
    [[nodiscard]] CGFloat fresnelExponent() const;
    /// "locksAmbientWithDiffuse"; true by default.
    [[nodiscard]] bool locksAmbientWithDiffuse() const;
    /// "transparency"; 1 (opaque) by default.
    [[nodiscard]] CGFloat transparency() const;
    /// "transparencyMode"; aOne by default.
    [[nodiscard]] SCNTransparencyMode transparencyMode() const;
    /// "blendMode"; alpha by default.
    [[nodiscard]] SCNBlendMode blendMode() const;
    /// "lightingModel"; blinn by default.
    [[nodiscard]] SCNLightingModel lightingModel() const;

    /// The property stored under `name` (one of `propertyNames`); none when absent or not a
    /// dictionary.
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> property(const std::string& name) const;

    /// "diffuse".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> diffuse() const { return property("diffuse"); }
    /// "metalness".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> metalness() const { return property("metalness"); }
    /// "roughness".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> roughness() const { return property("roughness"); }
    /// "normal".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> normal() const { return property("normal"); }
    /// "displacement".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> displacement() const { return property("displacement"); }
    /// "selfIllumination".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> selfIllumination() const {
        return property("selfIllumination");
    }
    /// "ambientOcclusion".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> ambientOcclusion() const {
        return property("ambientOcclusion");
    }
    /// "ambient".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> ambient() const { return property("ambient"); }
    /// "specular".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> specular() const { return property("specular"); }
    /// "reflective".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> reflective() const { return property("reflective"); }
    /// "multiply".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> multiply() const { return property("multiply"); }
    /// "transparent".
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> transparent() const { return property("transparent"); }
};

}  // namespace vantrel

#pragma GCC visibility pop
