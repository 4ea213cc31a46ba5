#pragma once

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertiesEntity.hpp"
#include "vantrel/graph/UIColor.hpp"

#include <map>
#include <memory>
#include <string>

namespace vantrel {

/// A catalogue material (backend class "Material"): how a surface looks, described by the
/// embedded record under "scnProperties".
class MaterialEntity : public CatalogAwareEntity {
public:
    /// The backend class name, "Material".
    static std::string parseClassName() { return "Material"; }

    /// A new, unsaved material.
    MaterialEntity();

    /// "name", trimmed; empty when absent.
    [[nodiscard]] std::string name() const;
    /// The description under "scnProperties"; none when absent or not a dictionary.
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertiesEntity> scnProperties() const;
    /// Property name to texture file key, for each property that has a texture.
    [[nodiscard]] std::map<std::string, std::string> textureFilePaths() const;
    /// Property name to hexadecimal colour text, for each property that has a colour.
    [[nodiscard]] std::map<std::string, std::string> rgbHexCodes() const;
    /// `rgbHexCodes` read as colours.
    [[nodiscard]] std::map<std::string, UIColor> uiColors() const;
};

}  // namespace vantrel
