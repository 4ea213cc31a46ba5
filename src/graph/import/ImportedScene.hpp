#pragma once

// What reading a scene file produces before any node exists: plain data and finished geometry,
// made on a worker thread and put together as a scene on the main thread.

#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <glm/mat4x4.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::detail {

/// How a material's alpha is used (glTF's alphaMode).
enum class ImportedAlphaMode { opaque, mask, blend };

/// A texture of a material: the decoded image, the texture-coordinate set it reads, how it is
/// sampled and the transform of its coordinates (glTF's KHR_texture_transform).
struct ImportedTexture {
    std::shared_ptr<UIImage> image;
    int channel = 0;
    /// Applied to (u, v, 0, 1) before sampling.
    glm::mat4 transform{1.0f};
    SCNWrapMode wrapS = SCNWrapMode::repeat;
    SCNWrapMode wrapT = SCNWrapMode::repeat;
    SCNFilterMode magnificationFilter = SCNFilterMode::linear;
    SCNFilterMode minificationFilter = SCNFilterMode::linear;
    SCNFilterMode mipFilter = SCNFilterMode::linear;
};

/// A number or colour of a material layer with its optional texture.
template <class Factor>
struct ImportedLayer {
    Factor factor;
    std::optional<ImportedTexture> texture;
};

/// One material as the file describes it.
struct ImportedMaterial {
    std::string name;
    bool physicallyBased = false;
    UIColor diffuse = UIColor::whiteColor();
    std::optional<ImportedTexture> diffuseTexture;
    double metalness = 0.0;
    double roughness = 1.0;
    /// Metal in blue, roughness in green (glTF's packing).
    std::optional<ImportedTexture> metallicRoughnessTexture;
    std::optional<ImportedTexture> normalTexture;
    std::optional<ImportedTexture> occlusionTexture;
    UIColor emission = UIColor::blackColor();
    std::optional<ImportedTexture> emissionTexture;
    UIColor specular = UIColor::blackColor();
    double shininess = 0.0;
    double opacity = 1.0;
    ImportedAlphaMode alphaMode = ImportedAlphaMode::opaque;
    double alphaCutoff = 0.5;
    bool doubleSided = false;

    // What glTF brings beyond the classic set (the Assimp path leaves these at their defaults).
    /// Colour factors are linear light (glTF) rather than sRGB colours.
    bool linearColors = false;
    /// Drawn without lighting (KHR_materials_unlit).
    bool unlit = false;
    /// Normal map strength and occlusion strength.
    double normalScale = 1.0;
    double occlusionStrength = 1.0;
    double emissiveStrength = 1.0;
    std::optional<ImportedLayer<double>> clearcoat;
    ImportedLayer<double> clearcoatRoughness{0.0, std::nullopt};
    std::optional<ImportedTexture> clearcoatNormalTexture;
    std::optional<ImportedLayer<UIColor>> sheenColor;
    ImportedLayer<double> sheenRoughness{0.0, std::nullopt};
    std::optional<ImportedLayer<double>> transmission;
    std::optional<ImportedLayer<double>> thickness;
    double attenuationDistance = 0.0;  // 0: infinite
    UIColor attenuationColor = UIColor::whiteColor();
    double ior = 1.5;
    std::optional<ImportedLayer<double>> specularFactor;
    std::optional<ImportedLayer<UIColor>> specularColor;
};

/// One geometry: a node's mesh parts merged, one element per part, and each part's material.
struct ImportedGeometry {
    std::shared_ptr<SCNGeometry> geometry;
    std::vector<std::size_t> materialIndices;
    /// Per element, the material each variant (index into Prepared::variantNames) gives it; empty
    /// when the file has no variants.
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> variantMaterials;
};

struct ImportedCamera {
    std::string name;
    double fieldOfViewDegrees = 60.0;
    double zNear = 0.01;
    double zFar = 100.0;
    bool orthographic = false;
    double orthographicScale = 1.0;
};

struct ImportedLight {
    std::string name;
    SCNLightType type = SCNLightType::omni;
    UIColor color = UIColor::whiteColor();
    /// In the graph's units: 1000 × lux (directional) or candela (point, spot) / π, since 1000 is the
    /// renderer's unit strength (see SCNLight::intensity).
    double intensity = 1000.0 / M_PI;
    /// Distance where the light ends (where its inverse-square fall-off is windowed to 0), when the
    /// file gives one.
    std::optional<double> range;
    /// Full cone angles of a spot light, in degrees.
    double spotInnerAngle = 0.0;
    double spotOuterAngle = 45.0;
};

/// A node of the file with what hangs on it (indices into the lists of ImportedScene).
struct ImportedNode {
    std::string name;
    glm::mat4 transform{1.0f};
    std::optional<std::size_t> geometry;
    std::optional<std::size_t> camera;
    std::optional<std::size_t> light;
    std::vector<ImportedNode> children;
};

}  // namespace vantrel::detail

namespace vantrel {

struct SCNSceneSource::Prepared {
    /// The file's top-level nodes: they become the children of the scene's root.
    std::vector<detail::ImportedNode> topLevel;
    std::vector<detail::ImportedGeometry> geometries;
    std::vector<detail::ImportedMaterial> materials;
    std::vector<detail::ImportedCamera> cameras;
    std::vector<detail::ImportedLight> lights;
    /// Names of the file's material variants (glTF's KHR_materials_variants), in file order.
    std::vector<std::string> variantNames;
};

}  // namespace vantrel
