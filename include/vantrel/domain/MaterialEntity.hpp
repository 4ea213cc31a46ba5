#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/domain/ScnMaterialPropertiesEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vantrel {

/// A catalogue material (backend class "Material"): how a surface looks, described by the
/// embedded record under "scnProperties".
///
/// The four asynchronous operations fetch the material's textures through the file cache, one after
/// another, and call their block once: on the caller's thread when every texture was cached (or
/// none is named), otherwise on the main queue after the last download. A texture that cannot be
/// fetched is logged and left out; none of them reports an error.
class MaterialEntity : public CatalogAwareEntity {
public:
    /// Receives the rendering material; none when the record has no "scnProperties".
    using ScnMaterialBlock = std::function<void(std::shared_ptr<SCNMaterial> material)>;
    /// Receives the texture bytes by property name.
    using TextureDatasBlock = std::function<void(std::map<std::string, FileData> datas)>;
    /// Receives the decoded textures by property name.
    using TextureImagesBlock = std::function<void(std::map<std::string, std::shared_ptr<UIImage>> images)>;
    /// Receives the swatch image, or none.
    using PaletteImageBlock = std::function<void(std::shared_ptr<UIImage> image)>;

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

    /// Builds a new rendering material: the description's settings, then each described property
    /// in the fixed order. "metalness" and "roughness" take their number; every other property
    /// takes its sampling settings and then its texture (placed by offset, scale and rotation), or
    /// failing that its colour.
    void getScnMaterial(ScnMaterialBlock block) const;
    /// The bytes of every texture that could be fetched.
    void getTextureFileDatas(TextureDatasBlock block) const;
    /// The textures whose bytes decode as images.
    void getTextureImages(TextureImagesBlock block) const;
    /// The diffuse texture, else a one-pixel image of the diffuse colour, else none.
    void getPaletteImage(PaletteImageBlock block) const;
};

}  // namespace vantrel

#pragma GCC visibility pop
