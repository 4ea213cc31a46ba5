#pragma once

// What material records and scene records share on the way from texture file keys to rendering
// properties: the strictly sequential fetch, decoding, the sampling settings and the palette swatch.

#include "vantrel/core/Error.hpp"
#include "vantrel/domain/ScnMaterialPropertyEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/ImageDecoding.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vantrel::domain_detail {

/// Property name to texture bytes.
using TextureDatas = std::map<std::string, FileData>;
/// Property name to decoded texture.
using TextureImages = std::map<std::string, std::shared_ptr<UIImage>>;
/// Property name to decoded texture with what its file declared.
using DecodedTextures = std::map<std::string, DecodedImage>;
/// Writes the log line for one texture that could not be fetched.
using TextureFailureLog = std::function<void(const std::string& propertyName, const Error& error)>;

/// Fetches the bytes of every texture in `filePaths` (property name to file key) through the file
/// cache, downloading when needed, one after another in the map's order. A fetch answering with an
/// error is handed to `logFailure` and skipped; bytes are kept even beside an error. `block` runs
/// once, on the thread of the last answer (the caller's when nothing needed the network).
void collectTextureDatas(const std::map<std::string, std::string>& filePaths, TextureFailureLog logFailure,
                         std::function<void(TextureDatas datas)> block);

/// The entries of `datas` that decode as images; the others are dropped silently.
[[nodiscard]] DecodedTextures decodeTextures(const TextureDatas& datas);
/// The images of `datas` alone.
[[nodiscard]] TextureImages decodeTextureImages(const TextureDatas& datas);

/// Shows `texture` on `property`. A file that declares linear values is sampled as stored; otherwise
/// the property keeps its own colour space (colours sRGB, data maps linear).
void setTextureContents(SCNMaterialProperty& property, const DecodedImage& texture);

/// Copies the sampling settings of `record` onto `property`, in this order: intensity, wrapS, wrapT,
/// minification, magnification and mip filters, maximum anisotropy, mapping channel.
void applySamplingSettings(SCNMaterialProperty& property, const ScnMaterialPropertyEntity& record);

/// The swatch standing for a material: its image under `name`, else a one-pixel image of its colour
/// under `name`, else none.
[[nodiscard]] std::shared_ptr<UIImage> paletteImageOf(const TextureImages& images,
                                                      const std::map<std::string, UIColor>& colors,
                                                      const std::string& name);

}  // namespace vantrel::domain_detail
