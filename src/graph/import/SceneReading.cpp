// Phase one of a scene source: Assimp reads the file, and its scene is turned into geometry,
// decoded textures and a plain node tree, all off the main thread.

#include "graph/import/GltfReader.hpp"
#include "graph/import/ImportedScene.hpp"
#include "graph/import/TextureReading.hpp"

#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/geometric.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <map>

namespace vantrel {

namespace {

Error sourceError(SCNSceneSourceError code, std::string message) {
    return Error(SCNSceneSource::errorDomain, static_cast<long>(code), std::move(message));
}

// Chosen for what the files bring and what they cost (a full set costs a 5 MB GLB about 80 ms):
// triangles only, points and lines split off; normals made only where a mesh has none, so the
// file's own normals stay; texture coordinates with their origin at the top left, as the images'
// rows run (Assimp turns glTF's upside down and leaves OBJ's and Collada's bottom-up). Vertices are
// not joined (glTF and GLB come indexed) and tangents are taken from the file, not computed.
// The data-structure check runs because every file is untrusted.
constexpr unsigned kPostProcessing = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_GenNormals |
                                     aiProcess_FlipUVs | aiProcess_ValidateDataStructure;

/// Hands Assimp's progress to the status handler (reading is the first 80 % of the whole).
class StatusProgress : public Assimp::ProgressHandler {
public:
    explicit StatusProgress(const SCNSceneSource::StatusHandler* handler) : handler_(handler) {}
    bool Update(float percentage) override {
        if (!handler_ || !*handler_) return true;
        const double fraction = percentage < 0 ? 0.0 : std::min(1.0, static_cast<double>(percentage));
        (*handler_)(0.8 * fraction, fraction < 0.5 ? SCNSceneSourceStatus::parsing : SCNSceneSourceStatus::processing,
                    std::nullopt, stopped);
        return !stopped;
    }
    bool stopped = false;

private:
    const SCNSceneSource::StatusHandler* handler_;
};

glm::mat4 toGlm(const aiMatrix4x4& m) { return glm::transpose(glm::make_mat4(&m.a1)); }

UIColor toColor(const aiColor4D& c) { return {c.r, c.g, c.b, c.a}; }

class Converter {
public:
    Converter(const aiScene& scene, const SCNSceneSource& source, detail::TextureReader& textures)
        : scene_(scene), source_(source), textures_(textures), scale_(source.options().convertUnitsToMeters) {
        if (!std::isfinite(scale_) || scale_ <= 0) scale_ = 1.0;
    }

    void materials(SCNSceneSource::Prepared& out) {
        out.materials.reserve(scene_.mNumMaterials);
        for (unsigned i = 0; i < scene_.mNumMaterials; ++i) out.materials.push_back(material(*scene_.mMaterials[i]));
    }

    void camerasAndLights(SCNSceneSource::Prepared& out) {
        for (unsigned i = 0; i < scene_.mNumCameras; ++i) {
            const aiCamera& c = *scene_.mCameras[i];
            detail::ImportedCamera camera;
            camera.name = c.mName.C_Str();
            if (c.mHorizontalFOV > 0) camera.fieldOfViewDegrees = 2.0 * c.mHorizontalFOV * 180.0 / M_PI;
            if (c.mClipPlaneNear > 0) camera.zNear = c.mClipPlaneNear * scale_;
            if (c.mClipPlaneFar > c.mClipPlaneNear) camera.zFar = c.mClipPlaneFar * scale_;
            camera.orthographic = c.mOrthographicWidth > 0;
            if (camera.orthographic) camera.orthographicScale = c.mOrthographicWidth * scale_;
            cameraByName_.emplace(camera.name, out.cameras.size());
            out.cameras.push_back(std::move(camera));
        }
        for (unsigned i = 0; i < scene_.mNumLights; ++i) {
            const aiLight& l = *scene_.mLights[i];
            detail::ImportedLight light;
            light.name = l.mName.C_Str();
            switch (l.mType) {
                case aiLightSource_DIRECTIONAL: light.type = SCNLightType::directional; break;
                case aiLightSource_SPOT: light.type = SCNLightType::spot; break;
                case aiLightSource_AMBIENT: light.type = SCNLightType::ambient; break;
                default: light.type = SCNLightType::omni; break;
            }
            // Assimp folds the intensity into the colour; the brightest channel gives it back.
            const double peak = std::max({l.mColorDiffuse.r, l.mColorDiffuse.g, l.mColorDiffuse.b});
            if (peak > 0) {
                light.color = UIColor(l.mColorDiffuse.r / peak, l.mColorDiffuse.g / peak, l.mColorDiffuse.b / peak);
                light.intensity = 1000.0 * peak;
            }
            lightByName_.emplace(light.name, out.lights.size());
            out.lights.push_back(std::move(light));
        }
    }

    /// The file's top-level nodes. A file whose root is a node of its own (glTF with one root node)
    /// keeps it; otherwise the root is the file's scene, and its transform (Collada's units and up
    /// axis) is carried into its children.
    void nodes(SCNSceneSource::Prepared& out, bool rootIsFileNode, const SCNSceneSource::StatusHandler& handler,
               bool& stop) {
        const aiNode& root = *scene_.mRootNode;
        handler_ = &handler;
        stop_ = &stop;
        if (rootIsFileNode) {
            out.topLevel.push_back(node(root, glm::mat4(1.0f), out));
            return;
        }
        const glm::mat4 rootTransform = toGlm(root.mTransformation);
        if (root.mNumMeshes > 0) {  // OBJ hangs its meshes on the root itself
            detail::ImportedNode holder;
            holder.name = root.mName.C_Str();
            holder.transform = scaled(rootTransform);
            holder.geometry = geometry(root, out);
            out.topLevel.push_back(std::move(holder));
        }
        for (unsigned i = 0; i < root.mNumChildren && !*stop_; ++i)
            out.topLevel.push_back(node(*root.mChildren[i], rootTransform, out));
    }

private:
    /// A transform of the file in meters: scaling the whole scene by s is s·L·s⁻¹ on every local
    /// transform, which multiplies its translation and leaves the rest.
    glm::mat4 scaled(glm::mat4 transform) const {
        transform[3] = glm::vec4(glm::vec3(transform[3]) * static_cast<float>(scale_), transform[3].w);
        return transform;
    }

    detail::ImportedNode node(const aiNode& source, const glm::mat4& parentCarry, SCNSceneSource::Prepared& out) {
        detail::ImportedNode result;
        result.name = source.mName.C_Str();
        result.transform = scaled(parentCarry * toGlm(source.mTransformation));
        if (auto it = cameraByName_.find(result.name); it != cameraByName_.end()) result.camera = it->second;
        if (auto it = lightByName_.find(result.name); it != lightByName_.end()) result.light = it->second;
        if (source.mNumMeshes > 0) result.geometry = geometry(source, out);
        result.children.reserve(source.mNumChildren);
        for (unsigned i = 0; i < source.mNumChildren && !*stop_; ++i)
            result.children.push_back(node(*source.mChildren[i], glm::mat4(1.0f), out));
        return result;
    }

    /// The geometry of a node's meshes, shared by every node that shows the same meshes.
    std::optional<std::size_t> geometry(const aiNode& node, SCNSceneSource::Prepared& out) {
        std::vector<unsigned> meshes;
        for (unsigned i = 0; i < node.mNumMeshes; ++i) {
            const unsigned index = node.mMeshes[i];
            if (index < scene_.mNumMeshes && (scene_.mMeshes[index]->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                meshes.push_back(index);
        }
        if (meshes.empty()) return std::nullopt;
        if (auto it = geometryByMeshes_.find(meshes); it != geometryByMeshes_.end()) return it->second;

        SCNGeometrySource vertices;
        std::vector<SCNGeometryElement> elements;
        detail::ImportedGeometry imported;
        unsigned channels = AI_MAX_NUMBER_OF_TEXTURECOORDS;
        bool normals = true, tangents = true, colors = true;
        std::size_t vertexCount = 0;
        for (unsigned index : meshes) {
            const aiMesh& mesh = *scene_.mMeshes[index];
            normals = normals && mesh.HasNormals();
            tangents = tangents && mesh.HasTangentsAndBitangents() && mesh.HasNormals();
            colors = colors && mesh.HasVertexColors(0);
            vertexCount += mesh.mNumVertices;
            unsigned meshChannels = 0;
            while (meshChannels < AI_MAX_NUMBER_OF_TEXTURECOORDS && mesh.HasTextureCoords(meshChannels)) ++meshChannels;
            channels = std::min(channels, meshChannels);
        }
        vertices.textureCoordinates.resize(channels);
        for (unsigned index : meshes) {
            const aiMesh& mesh = *scene_.mMeshes[index];
            const auto base = static_cast<std::uint32_t>(vertices.vertices.size());
            const auto scale = static_cast<float>(scale_);
            for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
                const aiVector3D& p = mesh.mVertices[v];
                vertices.vertices.emplace_back(p.x * scale, p.y * scale, p.z * scale);
                if (normals) vertices.normals.emplace_back(mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z);
                if (tangents) {
                    // The file's handedness, which Assimp keeps only in the bitangent it derived.
                    const glm::vec3 n(mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z);
                    const glm::vec3 t(mesh.mTangents[v].x, mesh.mTangents[v].y, mesh.mTangents[v].z);
                    const glm::vec3 b(mesh.mBitangents[v].x, mesh.mBitangents[v].y, mesh.mBitangents[v].z);
                    vertices.tangents.emplace_back(t, glm::dot(glm::cross(n, t), b) < 0 ? -1.0f : 1.0f);
                }
                if (colors) {
                    const aiColor4D& c = mesh.mColors[0][v];
                    vertices.colors.emplace_back(c.r, c.g, c.b, c.a);
                }
                for (unsigned c = 0; c < channels; ++c)
                    vertices.textureCoordinates[c].emplace_back(mesh.mTextureCoords[c][v].x,
                                                                mesh.mTextureCoords[c][v].y);
            }
            SCNGeometryElement element;
            element.bytesPerIndex = vertexCount <= 0x10000 ? 2 : 4;
            element.indices.reserve(static_cast<std::size_t>(mesh.mNumFaces) * 3);
            for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
                const aiFace& face = mesh.mFaces[f];
                if (face.mNumIndices != 3) continue;
                for (int k = 0; k < 3; ++k) element.indices.push_back(base + face.mIndices[k]);
            }
            elements.push_back(std::move(element));
            imported.materialIndices.push_back(mesh.mMaterialIndex < scene_.mNumMaterials ? mesh.mMaterialIndex : 0);
        }
        imported.geometry = SCNGeometry::make(std::move(vertices), std::move(elements));
        imported.geometry->setName(scene_.mMeshes[meshes.front()]->mName.C_Str());
        const std::size_t result = out.geometries.size();
        out.geometries.push_back(std::move(imported));
        geometryByMeshes_.emplace(std::move(meshes), result);
        if (handler_ && *handler_)
            (*handler_)(0.8 + 0.15 * progressOfMeshes(out), SCNSceneSourceStatus::processing, std::nullopt, *stop_);
        return result;
    }

    double progressOfMeshes(const SCNSceneSource::Prepared& out) const {
        return scene_.mNumMeshes == 0 ? 1.0
                                      : std::min(1.0, static_cast<double>(out.geometries.size()) / scene_.mNumMeshes);
    }

    std::optional<detail::ImportedTexture> texture(const aiMaterial& material,
                                                   std::initializer_list<aiTextureType> types) {
        for (auto type : types) {
            if (material.GetTextureCount(type) == 0) continue;
            aiString path;
            unsigned channel = 0;
            if (material.GetTexture(type, 0, &path, nullptr, &channel) != AI_SUCCESS) continue;
            auto image = textures_.image(scene_, path.C_Str());
            if (!image) return std::nullopt;
            return detail::ImportedTexture{std::move(image), static_cast<int>(channel)};
        }
        return std::nullopt;
    }

    detail::ImportedMaterial material(const aiMaterial& m) {
        detail::ImportedMaterial result;
        aiString name;
        if (m.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) result.name = name.C_Str();
        aiColor4D color;
        float number = 0;
        int flag = 0;
        result.physicallyBased = m.Get(AI_MATKEY_METALLIC_FACTOR, number) == AI_SUCCESS;
        if (m.Get(AI_MATKEY_BASE_COLOR, color) == AI_SUCCESS || m.Get(AI_MATKEY_COLOR_DIFFUSE, color) == AI_SUCCESS)
            result.diffuse = toColor(color);
        result.diffuseTexture = texture(m, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE});
        if (m.Get(AI_MATKEY_METALLIC_FACTOR, number) == AI_SUCCESS) result.metalness = number;
        if (m.Get(AI_MATKEY_ROUGHNESS_FACTOR, number) == AI_SUCCESS) result.roughness = number;
        result.metallicRoughnessTexture =
            texture(m, {aiTextureType_UNKNOWN, aiTextureType_METALNESS, aiTextureType_DIFFUSE_ROUGHNESS});
        result.normalTexture = texture(m, {aiTextureType_NORMALS, aiTextureType_NORMAL_CAMERA});
        result.occlusionTexture = texture(m, {aiTextureType_LIGHTMAP, aiTextureType_AMBIENT_OCCLUSION});
        if (m.Get(AI_MATKEY_COLOR_EMISSIVE, color) == AI_SUCCESS) result.emission = toColor(color);
        result.emissionTexture = texture(m, {aiTextureType_EMISSIVE, aiTextureType_EMISSION_COLOR});
        if (m.Get(AI_MATKEY_COLOR_SPECULAR, color) == AI_SUCCESS) result.specular = toColor(color);
        if (m.Get(AI_MATKEY_SHININESS, number) == AI_SUCCESS) result.shininess = number;
        if (m.Get(AI_MATKEY_OPACITY, number) == AI_SUCCESS)
            result.opacity = std::clamp(static_cast<double>(number), 0.0, 1.0);
        aiString alphaMode;
        if (m.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
            const std::string mode = alphaMode.C_Str();
            result.alphaMode = mode == "MASK"    ? detail::ImportedAlphaMode::mask
                               : mode == "BLEND" ? detail::ImportedAlphaMode::blend
                                                 : detail::ImportedAlphaMode::opaque;
        } else if (result.opacity < 1.0) {
            result.alphaMode = detail::ImportedAlphaMode::blend;
        }
        if (m.Get(AI_MATKEY_GLTF_ALPHACUTOFF, number) == AI_SUCCESS) result.alphaCutoff = number;
        if (m.Get(AI_MATKEY_TWOSIDED, flag) == AI_SUCCESS) result.doubleSided = flag != 0;
        return result;
    }

    const aiScene& scene_;
    const SCNSceneSource& source_;
    detail::TextureReader& textures_;
    double scale_;
    std::map<std::string, std::size_t> cameraByName_;
    std::map<std::string, std::size_t> lightByName_;
    std::map<std::vector<unsigned>, std::size_t> geometryByMeshes_;
    const SCNSceneSource::StatusHandler* handler_ = nullptr;
    bool* stop_ = nullptr;
};

/// glTF gives its single root node as Assimp's root; several roots come under a made-up "ROOT".
bool rootIsFileNode(const std::filesystem::path& url, const aiScene& scene) {
    auto extension = url.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return (extension == ".gltf" || extension == ".glb") && std::string(scene.mRootNode->mName.C_Str()) != "ROOT";
}

}  // namespace

std::shared_ptr<SCNSceneSource> SCNSceneSource::make(std::filesystem::path url, SCNSceneSourceOptions options) {
    return std::make_shared<SCNSceneSource>(std::move(url), std::move(options));
}

SCNSceneSource::SCNSceneSource(std::filesystem::path url, SCNSceneSourceOptions options)
    : url_(std::move(url)), options_(std::move(options)) {}

Expected<std::shared_ptr<SCNSceneSource::Prepared>> SCNSceneSource::read(const StatusHandler& statusHandler) const {
    if (detail::isGltfFile(url_)) return detail::readGltfScene(url_, options_, statusHandler);
    bool stop = false;
    const auto fail = [&](Error error) -> Error {
        if (statusHandler) statusHandler(0.0, SCNSceneSourceStatus::error, error, stop);
        return error;
    };
    std::error_code ec;
    if (!std::filesystem::is_regular_file(url_, ec)) {
        return fail(
            sourceError(SCNSceneSourceError::unreadableFile, "Unable to read the scene file '" + url_.string() + "'"));
    }
    if (statusHandler) statusHandler(0.0, SCNSceneSourceStatus::parsing, std::nullopt, stop);

    auto prepared = std::make_shared<Prepared>();
    {
        Assimp::Importer importer;
        auto* progress = new StatusProgress(&statusHandler);  // the importer owns and deletes it
        importer.SetProgressHandler(progress);
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        const aiScene* scene = importer.ReadFile(url_.string(), kPostProcessing);
        if (progress->stopped || stop)
            return fail(sourceError(SCNSceneSourceError::cancelled, "Loading of '" + url_.string() + "' was stopped"));
        if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
            return fail(
                sourceError(SCNSceneSourceError::invalidScene,
                            "Unable to read the scene file '" + url_.string() + "': " + importer.GetErrorString()));
        }
        detail::TextureReader textures(url_, options_);
        Converter converter(*scene, *this, textures);
        converter.materials(*prepared);
        converter.camerasAndLights(*prepared);
        converter.nodes(*prepared, rootIsFileNode(url_, *scene), statusHandler, stop);
        if (stop)
            return fail(sourceError(SCNSceneSourceError::cancelled, "Loading of '" + url_.string() + "' was stopped"));
    }  // the importer's scene goes before the hit-test trees are built, so the two never peak together
    // Hit tests would otherwise build each mesh's triangle tree on the main thread at the first tap.
    for (const auto& geometry : prepared->geometries) {
        geometry.geometry->prepareForHitTesting();
        if (stop) break;
    }
    return prepared;
}

}  // namespace vantrel
