#pragma once

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"
#include "vantrel/graph/UIColor.hpp"

#include <map>
#include <memory>
#include <string>

namespace vantrel {

/// A catalogue's canvas settings (backend class "Scene"): the lighting environment.
class SceneEntity : public CatalogAwareEntity {
public:
    /// The backend class name, "Scene".
    static std::string parseClassName() { return "Scene"; }
    /// The property name under which the environment's texture and colour are listed.
    static constexpr const char* lightingEnvironmentKey = "lightingEnvironment";

    /// A new, unsaved scene.
    SceneEntity();

    /// The environment map, "lightingEnvironment"; none when absent or not a dictionary.
    [[nodiscard]] std::shared_ptr<ScnMaterialPropertyEntity> lightingEnvironment() const;
    /// Stores the environment's dictionary under "lightingEnvironment"; none stores a null.
    void setLightingEnvironment(const std::shared_ptr<ScnMaterialPropertyEntity>& environment);

    /// "lightingEnvironment" to the environment's texture file key, when it has one.
    [[nodiscard]] std::map<std::string, std::string> textureFilePaths() const;
    /// "lightingEnvironment" to the environment's hexadecimal colour, when it has one.
    [[nodiscard]] std::map<std::string, std::string> rgbHexCodes() const;
    /// `rgbHexCodes` read as colours.
    [[nodiscard]] std::map<std::string, UIColor> uiColors() const;
};

}  // namespace vantrel
