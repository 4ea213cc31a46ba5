#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vantrel {

/// A catalogue's canvas settings (backend class "Scene"): the lighting environment.
///
/// The four asynchronous operations work as a material's, with the single property name
/// "lightingEnvironment": each calls its block once, on the caller's thread when the texture was
/// cached (or none is named), otherwise on the main queue after the download.
class SceneEntity : public CatalogAwareEntity {
public:
    /// Receives the environment property.
    using LightingEnvironmentBlock = std::function<void(SCNMaterialProperty environment)>;
    /// Receives the texture bytes by property name.
    using TextureDatasBlock = std::function<void(std::map<std::string, FileData> datas)>;
    /// Receives the decoded textures by property name.
    using TextureImagesBlock = std::function<void(std::map<std::string, std::shared_ptr<UIImage>> images)>;
    /// Receives the swatch image, or none.
    using PaletteImageBlock = std::function<void(std::shared_ptr<UIImage> image)>;

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

    /// The environment as a rendering property: empty without "lightingEnvironment"; otherwise its
    /// sampling settings and its texture, or failing that its colour (no contents transform).
    void getScnLightingEnvironment(LightingEnvironmentBlock block) const;
    /// The bytes of the environment's texture, when it could be fetched.
    void getTextureDatas(TextureDatasBlock block) const;
    /// The environment's texture when its bytes decode as an image.
    void getTextureImages(TextureImagesBlock block) const;
    /// The environment's texture, else a one-pixel image of its colour, else none.
    void getPaletteImage(PaletteImageBlock block) const;
};

}  // namespace vantrel

#pragma GCC visibility pop
