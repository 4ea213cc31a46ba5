#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace vantrel {

/// How one visual aspect of a material (or a scene's lighting environment) looks: a colour, a
/// texture or a number, and how a texture is sampled and placed.
///
/// The sampling modes are stored by name and compared exactly ("Repeat" is not "repeat"); an
/// unknown name gives the default.
class ScnMaterialPropertyEntity : public EmbeddedRecord<ScnMaterialPropertyEntity> {
public:
    /// The colour as hexadecimal text, "rgbHexCode", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> rgbHexCode() const;
    /// The texture's file key, "textureFilePath", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> textureFilePath() const;
    /// "intensity"; 1 by default.
    [[nodiscard]] float intensity() const;
    /// The number shown by metalness and roughness, "floatValue"; 1 by default.
    [[nodiscard]] float floatValue() const;
    /// "maxAnisotropy"; 1 by default.
    [[nodiscard]] float maxAnisotropy() const;
    /// The texture coordinate set, "mappingChannel"; 0 by default.
    [[nodiscard]] std::int64_t mappingChannel() const;
    /// "wrapS"; clamp by default.
    [[nodiscard]] SCNWrapMode wrapS() const;
    /// "wrapT"; clamp by default.
    [[nodiscard]] SCNWrapMode wrapT() const;
    /// "minificationFilter"; linear by default.
    [[nodiscard]] SCNFilterMode minificationFilter() const;
    /// "magnificationFilter"; linear by default.
    [[nodiscard]] SCNFilterMode magnificationFilter() const;
    /// "mipFilter"; nearest by default.
    [[nodiscard]] SCNFilterMode mipFilter() const;
    /// Texture scale in x, "scaleX"; 1 by default.
    [[nodiscard]] float scaleX() const;
    /// Texture scale in y, "scaleY"; 1 by default.
    [[nodiscard]] float scaleY() const;
    /// Texture offset in x, "offsetX"; 0 by default.
    [[nodiscard]] float offsetX() const;
    /// Texture offset in y, "offsetY"; 0 by default.
    [[nodiscard]] float offsetY() const;
    /// Texture rotation in radians, "rotation"; 0 by default.
    [[nodiscard]] float rotation() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
