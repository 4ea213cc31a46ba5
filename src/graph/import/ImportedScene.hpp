#pragma once

// What reading a scene file produces before any node exists: plain data and finished geometry,
// made on a worker thread and put together as a scene on the main thread.

#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
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

/// A texture of a material: the decoded image and the texture-coordinate set it reads.
struct ImportedTexture {
    std::shared_ptr<UIImage> image;
    int channel = 0;
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
};

/// One geometry: a node's mesh parts merged, one element per part, and each part's material.
struct ImportedGeometry {
    std::shared_ptr<SCNGeometry> geometry;
    std::vector<std::size_t> materialIndices;
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
    double intensity = 1000.0;
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
};

}  // namespace vantrel
