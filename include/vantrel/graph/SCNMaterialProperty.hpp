#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <optional>
#include <variant>

#include "vantrel/graph/SCNMatrix4.hpp"
#include "vantrel/graph/SCNRevision.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// How texture coordinates outside 0…1 are treated. The numbers are the platform's.
enum class SCNWrapMode {
    clamp = 1,          ///< Edge texels stretch outwards.
    repeat = 2,         ///< The texture tiles.
    clampToBorder = 3,  ///< Outside is the border colour.
    mirror = 4,         ///< The texture tiles, every other copy mirrored.
};

/// Texture filtering. The numbers are the platform's.
enum class SCNFilterMode {
    none = 0,     ///< No filtering (for mipmaps: no mipmapping).
    nearest = 1,  ///< Nearest texel.
    linear = 2,   ///< Linear interpolation.
};

/// How the colour channels of an image are encoded, so that a renderer can turn them into linear light.
enum class SCNColorSpace {
    sRGB,    ///< Colours as seen (base colour, emission): the sRGB transfer curve is undone when sampled.
    linear,  ///< Data (normals, metalness, roughness, occlusion): sampled as stored.
};

/// What a material property shows: nothing, a colour, an image, or a number (metalness, roughness).
using SCNMaterialContents = std::variant<std::monostate, UIColor, std::shared_ptr<UIImage>, double>;

/// One visual aspect of a material (diffuse colour, normal map, metalness …) or of a scene's lighting
/// environment: its contents and how they are sampled. A value type; materials and scenes own theirs.
class SCNMaterialProperty {
public:
    /// An empty property with the platform's defaults.
    SCNMaterialProperty() = default;
    /// A property showing `contents`.
    explicit SCNMaterialProperty(SCNMaterialContents contents) : contents_(std::move(contents)) {}

    /// The contents.
    [[nodiscard]] const SCNMaterialContents& contents() const noexcept { return contents_; }
    /// Replaces the contents.
    void setContents(SCNMaterialContents contents) {
        contents_ = std::move(contents);
        revision_.bump();
    }
    /// Removes the contents.
    void clearContents() {
        contents_ = std::monostate{};
        revision_.bump();
    }
    /// True when the property shows nothing.
    [[nodiscard]] bool isEmpty() const noexcept { return std::holds_alternative<std::monostate>(contents_); }
    /// The contents when they are a colour.
    [[nodiscard]] std::optional<UIColor> contentsColor() const;
    /// The contents when they are an image, else nullptr.
    [[nodiscard]] std::shared_ptr<UIImage> contentsImage() const;
    /// The contents when they are a number.
    [[nodiscard]] std::optional<double> contentsNumber() const;

    /// Strength of the contents' effect, 1 by default.
    [[nodiscard]] double intensity() const noexcept { return intensity_; }
    /// Sets the strength.
    void setIntensity(double intensity) noexcept {
        intensity_ = intensity;
        revision_.bump();
    }
    /// Horizontal wrap mode, clamp by default.
    [[nodiscard]] SCNWrapMode wrapS() const noexcept { return wrapS_; }
    /// Sets the horizontal wrap mode.
    void setWrapS(SCNWrapMode mode) noexcept {
        wrapS_ = mode;
        revision_.bump();
    }
    /// Vertical wrap mode, clamp by default.
    [[nodiscard]] SCNWrapMode wrapT() const noexcept { return wrapT_; }
    /// Sets the vertical wrap mode.
    void setWrapT(SCNWrapMode mode) noexcept {
        wrapT_ = mode;
        revision_.bump();
    }
    /// Filter when the texture is drawn smaller, linear by default.
    [[nodiscard]] SCNFilterMode minificationFilter() const noexcept { return minificationFilter_; }
    /// Sets the minification filter.
    void setMinificationFilter(SCNFilterMode mode) noexcept {
        minificationFilter_ = mode;
        revision_.bump();
    }
    /// Filter when the texture is drawn larger, linear by default.
    [[nodiscard]] SCNFilterMode magnificationFilter() const noexcept { return magnificationFilter_; }
    /// Sets the magnification filter.
    void setMagnificationFilter(SCNFilterMode mode) noexcept {
        magnificationFilter_ = mode;
        revision_.bump();
    }
    /// Filter between mipmap levels, nearest by default.
    [[nodiscard]] SCNFilterMode mipFilter() const noexcept { return mipFilter_; }
    /// Sets the mipmap filter.
    void setMipFilter(SCNFilterMode mode) noexcept {
        mipFilter_ = mode;
        revision_.bump();
    }
    /// Largest anisotropy of texture sampling, 1 (none) by default.
    [[nodiscard]] double maxAnisotropy() const noexcept { return maxAnisotropy_; }
    /// Sets the largest anisotropy.
    void setMaxAnisotropy(double anisotropy) noexcept {
        maxAnisotropy_ = anisotropy;
        revision_.bump();
    }
    /// Which texture-coordinate set of the geometry the contents use, 0 by default.
    [[nodiscard]] int mappingChannel() const noexcept { return mappingChannel_; }
    /// Sets the texture-coordinate set.
    void setMappingChannel(int channel) noexcept {
        mappingChannel_ = channel;
        revision_.bump();
    }
    /// Transform applied to texture coordinates, the identity by default.
    [[nodiscard]] const SCNMatrix4& contentsTransform() const noexcept { return contentsTransform_; }
    /// Sets the texture-coordinate transform.
    void setContentsTransform(const SCNMatrix4& transform) noexcept {
        contentsTransform_ = transform;
        revision_.bump();
    }

    /// How an image's colour channels are encoded, sRGB by default (materials make their data
    /// properties linear). Colour contents follow `colorContentsSpace` instead.
    [[nodiscard]] SCNColorSpace colorSpace() const noexcept { return colorSpace_; }
    /// Sets how an image's colour channels are encoded.
    void setColorSpace(SCNColorSpace space) noexcept {
        colorSpace_ = space;
        revision_.bump();
    }

    /// How colour contents (and the tint) are encoded: sRGB by default, as the platform's colours and
    /// records' hex values are; linear for colours that are linear light already (glTF's colour
    /// factors), which must not be converted again.
    [[nodiscard]] SCNColorSpace colorContentsSpace() const noexcept { return colorContentsSpace_; }
    /// Sets how colour contents are encoded.
    void setColorContentsSpace(SCNColorSpace space) noexcept {
        colorContentsSpace_ = space;
        revision_.bump();
    }
    /// Colour that image contents are multiplied by (alpha too, in linear light), white by default: the
    /// colour factor of a textured colour, such as glTF's base colour, emissive, sheen and specular
    /// colour factors.
    [[nodiscard]] const UIColor& tintColor() const noexcept { return tintColor_; }
    /// Sets the colour image contents are multiplied by.
    void setTintColor(const UIColor& color) noexcept {
        tintColor_ = color;
        revision_.bump();
    }

    /// Change stamp: grows with every change of the property (see detail::RevisionStamp).
    [[nodiscard]] std::uint64_t revision() const noexcept { return revision_.value(); }

private:
    SCNMaterialContents contents_;
    double intensity_ = 1.0;
    SCNWrapMode wrapS_ = SCNWrapMode::clamp;
    SCNWrapMode wrapT_ = SCNWrapMode::clamp;
    SCNFilterMode minificationFilter_ = SCNFilterMode::linear;
    SCNFilterMode magnificationFilter_ = SCNFilterMode::linear;
    SCNFilterMode mipFilter_ = SCNFilterMode::nearest;
    double maxAnisotropy_ = 1.0;
    int mappingChannel_ = 0;
    SCNMatrix4 contentsTransform_{1.0f};
    SCNColorSpace colorSpace_ = SCNColorSpace::sRGB;
    SCNColorSpace colorContentsSpace_ = SCNColorSpace::sRGB;
    UIColor tintColor_ = UIColor::whiteColor();
    detail::RevisionStamp revision_;
};

}  // namespace vantrel

#pragma GCC visibility pop
