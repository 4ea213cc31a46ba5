#include "graph/import/helper/AssimpImport.hpp"

#include <assimp/BaseImporter.h>
#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/geometric.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/mat4x4.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace vantrel::detail {

namespace {

// Chosen for what the files bring and what they cost (a full set costs a 5 MB GLB about 80 ms):
// triangles only, points and lines split off; normals made only where a mesh has none, so the
// file's own normals stay; texture coordinates with their origin at the top left, as the images'
// rows run (Assimp turns glTF's upside down and leaves OBJ's and Collada's bottom-up). Vertices are
// not joined (glTF and GLB come indexed) and tangents are taken from the file, not computed.
// The data-structure check runs because every file is untrusted.
constexpr unsigned kPostProcessing = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_GenNormals |
                                     aiProcess_FlipUVs | aiProcess_ValidateDataStructure;

/// Embedded raw textures larger than this go out as their name alone (the library's image limit).
constexpr std::uint64_t kMaxEmbeddedTexels = std::uint64_t{1} << 26;

/// Deeper node trees are refused rather than walked.
constexpr int kMaxNodeDepth = 1024;

/// Sends Assimp's progress as frames, only when it moved by a percent or more.
class ProgressFrames : public Assimp::ProgressHandler {
public:
    explicit ProgressFrames(const std::function<void(std::string_view)>& sink) : sink_(sink) {}
    bool Update(float percentage) override {
        const float fraction = std::isfinite(percentage) ? std::clamp(percentage, 0.0f, 1.0f) : 0.0f;
        if (fraction < last_ + 0.01f && fraction < 1.0f) return true;
        last_ = fraction;
        wire::Writer out;
        out.begin(wire::Frame::progress);
        out.f32(fraction);
        out.end();
        sink_(out.buffer());
        return true;
    }

private:
    const std::function<void(std::string_view)>& sink_;
    float last_ = -1.0f;
};

/// Takes every reader out of `importer` but those of `format`. The readers taken out belong to
/// this function then, and go with it.
void keepOnlyReadersOf(Assimp::Importer& importer, const std::string& format) {
    std::vector<std::unique_ptr<Assimp::BaseImporter>> removed;
    for (std::size_t i = importer.GetImporterCount(); i-- > 0;) {
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        std::set<std::string> extensions;
        reader->GetExtensionList(extensions);
        if (extensions.count(format)) continue;
        if (importer.UnregisterLoader(reader) == AI_SUCCESS) removed.emplace_back(reader);
    }
}

void sendFailure(const std::function<void(std::string_view)>& sink, const std::string& message) {
    wire::Writer out;
    out.begin(wire::Frame::failure);
    out.string(message);
    out.end();
    sink(out.buffer());
}

glm::mat4 toGlm(const aiMatrix4x4& m) { return glm::transpose(glm::make_mat4(&m.a1)); }

void color(wire::Writer& out, const aiColor4D& c) {
    out.f32(c.r);
    out.f32(c.g);
    out.f32(c.b);
    out.f32(c.a);
}

/// A node as it goes out: indices into the lists sent before it.
struct Node {
    std::string name;
    glm::mat4 transform{1.0f};
    std::uint32_t geometry = wire::kNone;
    std::uint32_t camera = wire::kNone;
    std::uint32_t light = wire::kNone;
    std::vector<Node> children;
};

class Converter {
public:
    Converter(const aiScene& scene, double scale, const std::function<void(std::string_view)>& sink)
        : scene_(scene), scale_(scale), sink_(sink) {
        if (!std::isfinite(scale_) || scale_ <= 0) scale_ = 1.0;
    }

    void summary() {
        out_.begin(wire::Frame::summary);
        out_.u32(scene_.mNumMeshes);
        flush();
    }

    void materials() {
        for (unsigned i = 0; i < scene_.mNumMaterials; ++i) material(*scene_.mMaterials[i]);
    }

    void camerasAndLights() {
        for (unsigned i = 0; i < scene_.mNumCameras; ++i) {
            const aiCamera& c = *scene_.mCameras[i];
            // Only what the file gives goes out; the library keeps its defaults for the rest.
            std::uint8_t given = 0;
            if (c.mHorizontalFOV > 0) given |= 1;
            if (c.mClipPlaneNear > 0) given |= 2;
            if (c.mClipPlaneFar > c.mClipPlaneNear) given |= 4;
            if (c.mOrthographicWidth > 0) given |= 8;
            out_.begin(wire::Frame::camera);
            out_.string(c.mName.C_Str());
            out_.u8(given);
            out_.f64(2.0 * c.mHorizontalFOV * 180.0 / M_PI);
            out_.f64(c.mClipPlaneNear * scale_);
            out_.f64(c.mClipPlaneFar * scale_);
            out_.f64(c.mOrthographicWidth * scale_);
            flush();
            cameraByName_.emplace(c.mName.C_Str(), i);
        }
        for (unsigned i = 0; i < scene_.mNumLights; ++i) {
            const aiLight& l = *scene_.mLights[i];
            out_.begin(wire::Frame::light);
            out_.string(l.mName.C_Str());
            switch (l.mType) {
                case aiLightSource_DIRECTIONAL: out_.u8(1); break;
                case aiLightSource_SPOT: out_.u8(2); break;
                case aiLightSource_AMBIENT: out_.u8(3); break;
                default: out_.u8(0); break;
            }
            out_.f32(l.mColorDiffuse.r);
            out_.f32(l.mColorDiffuse.g);
            out_.f32(l.mColorDiffuse.b);
            flush();
            lightByName_.emplace(l.mName.C_Str(), i);
        }
    }

    /// The file's top-level nodes, then `end`; or a failure when the tree is too deep. A file whose
    /// root is a node of its own (glTF with one root node) keeps it; otherwise the root is the
    /// file's scene, and its transform (Collada's units and up axis) is carried into its children.
    bool nodes(bool rootIsFileNode) {
        const aiNode& root = *scene_.mRootNode;
        std::vector<Node> topLevel;
        if (rootIsFileNode) {
            topLevel.push_back(node(root, glm::mat4(1.0f), 0));
        } else {
            const glm::mat4 rootTransform = toGlm(root.mTransformation);
            if (root.mNumMeshes > 0) {  // OBJ hangs its meshes on the root itself
                Node holder;
                holder.name = root.mName.C_Str();
                holder.transform = scaled(rootTransform);
                holder.geometry = geometry(root);
                topLevel.push_back(std::move(holder));
            }
            for (unsigned i = 0; i < root.mNumChildren && failed_.empty(); ++i)
                topLevel.push_back(node(*root.mChildren[i], rootTransform, 0));
        }
        if (!failed_.empty()) {
            sendFailure(sink_, failed_);
            return false;
        }
        out_.begin(wire::Frame::nodes);
        out_.u32(static_cast<std::uint32_t>(topLevel.size()));
        for (const auto& n : topLevel) write(n);
        flush();
        if (!failed_.empty()) {
            sendFailure(sink_, failed_);
            return false;
        }
        out_.begin(wire::Frame::end);
        flush();
        return true;
    }

private:
    /// Sends the frame begun last; one too large for the library is dropped, and the scene refused.
    void flush() {
        if (out_.buffer().size() > wire::kMaxFrameBytes + wire::kFrameHeadSize) {
            failed_ = "a part of the scene is larger than " + std::to_string(wire::kMaxFrameBytes >> 20) + " MiB";
        } else {
            out_.end();
            sink_(out_.buffer());
        }
        out_.buffer().clear();
    }

    /// A transform of the file in meters: scaling the whole scene by s is s·L·s⁻¹ on every local
    /// transform, which multiplies its translation and leaves the rest.
    glm::mat4 scaled(glm::mat4 transform) const {
        transform[3] = glm::vec4(glm::vec3(transform[3]) * static_cast<float>(scale_), transform[3].w);
        return transform;
    }

    Node node(const aiNode& source, const glm::mat4& parentCarry, int depth) {
        Node result;
        if (depth > kMaxNodeDepth) {
            failed_ = "the node tree is nested deeper than " + std::to_string(kMaxNodeDepth) + " levels";
            return result;
        }
        result.name = source.mName.C_Str();
        result.transform = scaled(parentCarry * toGlm(source.mTransformation));
        if (auto it = cameraByName_.find(result.name); it != cameraByName_.end()) result.camera = it->second;
        if (auto it = lightByName_.find(result.name); it != lightByName_.end()) result.light = it->second;
        if (source.mNumMeshes > 0) result.geometry = geometry(source);
        result.children.reserve(source.mNumChildren);
        for (unsigned i = 0; i < source.mNumChildren && failed_.empty(); ++i)
            result.children.push_back(node(*source.mChildren[i], glm::mat4(1.0f), depth + 1));
        return result;
    }

    void write(const Node& n) {
        out_.string(n.name);
        out_.raw(glm::value_ptr(n.transform), sizeof(float) * 16);
        out_.u32(n.geometry);
        out_.u32(n.camera);
        out_.u32(n.light);
        out_.u32(static_cast<std::uint32_t>(n.children.size()));
        for (const auto& child : n.children) write(child);
    }

    /// The geometry of a node's meshes, shared by every node that shows the same meshes: one
    /// vertex list, one element per mesh with the mesh's material.
    std::uint32_t geometry(const aiNode& node) {
        std::vector<unsigned> meshes;
        for (unsigned i = 0; i < node.mNumMeshes; ++i) {
            const unsigned index = node.mMeshes[i];
            if (index < scene_.mNumMeshes && (scene_.mMeshes[index]->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                meshes.push_back(index);
        }
        if (meshes.empty()) return wire::kNone;
        if (auto it = geometryByMeshes_.find(meshes); it != geometryByMeshes_.end()) return it->second;

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
        if (vertexCount >= wire::kNone) {
            failed_ = "a geometry has more vertices than an index can name";
            return wire::kNone;
        }
        const auto count = static_cast<std::uint32_t>(vertexCount);
        const auto scale = static_cast<float>(scale_);
        out_.begin(wire::Frame::geometry);
        out_.string(scene_.mMeshes[meshes.front()]->mName.C_Str());
        out_.u32(count);
        out_.u8(static_cast<std::uint8_t>((normals ? 1 : 0) | (tangents ? 2 : 0) | (colors ? 4 : 0)));
        out_.u32(channels);
        // Each attribute goes out as one array over all meshes, `width` floats a vertex.
        std::vector<float> values;
        const auto attribute = [&](std::size_t width, auto&& put) {
            values.clear();
            values.reserve(vertexCount * width);
            for (unsigned index : meshes) {
                const aiMesh& mesh = *scene_.mMeshes[index];
                for (unsigned v = 0; v < mesh.mNumVertices; ++v) put(mesh, v);
            }
            out_.u32(count);
            out_.raw(values.data(), values.size() * sizeof(float));
        };
        attribute(3, [&](const aiMesh& mesh, unsigned v) {
            const aiVector3D& p = mesh.mVertices[v];
            values.insert(values.end(), {p.x * scale, p.y * scale, p.z * scale});
        });
        if (normals) {
            attribute(3, [&](const aiMesh& mesh, unsigned v) {
                values.insert(values.end(), {mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z});
            });
        }
        if (tangents) {
            attribute(4, [&](const aiMesh& mesh, unsigned v) {
                // The file's handedness, which Assimp keeps only in the bitangent it derived.
                const glm::vec3 n(mesh.mNormals[v].x, mesh.mNormals[v].y, mesh.mNormals[v].z);
                const glm::vec3 t(mesh.mTangents[v].x, mesh.mTangents[v].y, mesh.mTangents[v].z);
                const glm::vec3 b(mesh.mBitangents[v].x, mesh.mBitangents[v].y, mesh.mBitangents[v].z);
                values.insert(values.end(), {t.x, t.y, t.z, glm::dot(glm::cross(n, t), b) < 0 ? -1.0f : 1.0f});
            });
        }
        if (colors) {
            attribute(4, [&](const aiMesh& mesh, unsigned v) {
                const aiColor4D& c = mesh.mColors[0][v];
                values.insert(values.end(), {c.r, c.g, c.b, c.a});
            });
        }
        for (unsigned c = 0; c < channels; ++c) {
            attribute(2, [&](const aiMesh& mesh, unsigned v) {
                values.insert(values.end(), {mesh.mTextureCoords[c][v].x, mesh.mTextureCoords[c][v].y});
            });
        }
        out_.u32(static_cast<std::uint32_t>(meshes.size()));
        std::uint32_t base = 0;
        std::vector<std::uint32_t> indices;
        for (unsigned index : meshes) {
            const aiMesh& mesh = *scene_.mMeshes[index];
            indices.clear();
            indices.reserve(static_cast<std::size_t>(mesh.mNumFaces) * 3);
            for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
                const aiFace& face = mesh.mFaces[f];
                if (face.mNumIndices != 3) continue;
                for (int k = 0; k < 3; ++k) indices.push_back(base + face.mIndices[k]);
            }
            out_.u8(vertexCount <= 0x10000 ? 2 : 4);
            out_.array(indices.data(), indices.size());
            out_.u32(mesh.mMaterialIndex < scene_.mNumMaterials ? mesh.mMaterialIndex : 0);
            base += mesh.mNumVertices;
        }
        flush();
        const auto result = static_cast<std::uint32_t>(geometryByMeshes_.size());
        geometryByMeshes_.emplace(std::move(meshes), result);
        return result;
    }

    /// The index of the texture `type` names in `material` (sent the first time it is named), and
    /// its texture-coordinate set.
    std::pair<std::uint32_t, std::uint32_t> texture(const aiMaterial& material,
                                                    std::initializer_list<aiTextureType> types) {
        for (auto type : types) {
            if (material.GetTextureCount(type) == 0) continue;
            aiString path;
            unsigned channel = 0;
            if (material.GetTexture(type, 0, &path, nullptr, &channel) != AI_SUCCESS) continue;
            const std::string reference = path.C_Str();
            if (reference.empty()) return {wire::kNone, 0};
            auto [it, added] = textureByReference_.emplace(reference, textureByReference_.size());
            if (added) sendTexture(reference);
            return {static_cast<std::uint32_t>(it->second), channel};
        }
        return {wire::kNone, 0};
    }

    /// The name goes out, and the embedded data when the file embeds it under that name: the
    /// library decides which to take, and finds and decodes external files itself.
    void sendTexture(const std::string& reference) {
        out_.begin(wire::Frame::texture);
        out_.string(reference);
        const aiTexture* texture = scene_.GetEmbeddedTexture(reference.c_str());
        if (!texture || !texture->pcData) {
            out_.u8(static_cast<std::uint8_t>(wire::TextureKind::reference));
        } else if (texture->mHeight == 0) {  // compressed bytes (PNG, JPEG...), mWidth of them
            out_.u8(static_cast<std::uint8_t>(wire::TextureKind::encoded));
            out_.array(reinterpret_cast<const std::uint8_t*>(texture->pcData), texture->mWidth);
        } else if (static_cast<std::uint64_t>(texture->mWidth) * texture->mHeight <= kMaxEmbeddedTexels) {
            out_.u8(static_cast<std::uint8_t>(wire::TextureKind::rgba));
            out_.u32(texture->mWidth);
            out_.u32(texture->mHeight);
            const std::size_t count = static_cast<std::size_t>(texture->mWidth) * texture->mHeight;
            std::vector<std::uint8_t> rgba(count * 4);
            for (std::size_t i = 0; i < count; ++i) {
                const aiTexel& t = texture->pcData[i];
                rgba[i * 4] = t.r;
                rgba[i * 4 + 1] = t.g;
                rgba[i * 4 + 2] = t.b;
                rgba[i * 4 + 3] = t.a;
            }
            out_.array(rgba.data(), rgba.size());
        } else {  // more texels than any image the library takes: the name alone, which finds nothing
            out_.u8(static_cast<std::uint8_t>(wire::TextureKind::reference));
        }
        flush();
    }

    void material(const aiMaterial& m) {
        // Texture frames go out before the material that names them.
        const auto diffuseTexture = texture(m, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE});
        const auto metallicRoughnessTexture =
            texture(m, {aiTextureType_UNKNOWN, aiTextureType_METALNESS, aiTextureType_DIFFUSE_ROUGHNESS});
        const auto normalTexture = texture(m, {aiTextureType_NORMALS, aiTextureType_NORMAL_CAMERA});
        const auto occlusionTexture = texture(m, {aiTextureType_LIGHTMAP, aiTextureType_AMBIENT_OCCLUSION});
        const auto emissionTexture = texture(m, {aiTextureType_EMISSIVE, aiTextureType_EMISSION_COLOR});

        aiString name;
        aiColor4D c;
        float number = 0;
        int flag = 0;
        out_.begin(wire::Frame::material);
        out_.string(m.Get(AI_MATKEY_NAME, name) == AI_SUCCESS ? name.C_Str() : "");
        const bool physicallyBased = m.Get(AI_MATKEY_METALLIC_FACTOR, number) == AI_SUCCESS;
        out_.u8(physicallyBased ? 1 : 0);
        const bool hasDiffuse = m.Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || m.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS;
        color(out_, hasDiffuse ? c : aiColor4D(1, 1, 1, 1));
        const auto slot = [&](std::pair<std::uint32_t, std::uint32_t> t) {
            out_.u32(t.first);
            out_.u32(t.second);
        };
        slot(diffuseTexture);
        out_.f32(m.Get(AI_MATKEY_METALLIC_FACTOR, number) == AI_SUCCESS ? number : 0.0f);
        out_.f32(m.Get(AI_MATKEY_ROUGHNESS_FACTOR, number) == AI_SUCCESS ? number : 1.0f);
        slot(metallicRoughnessTexture);
        slot(normalTexture);
        slot(occlusionTexture);
        color(out_, m.Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS ? c : aiColor4D(0, 0, 0, 1));
        slot(emissionTexture);
        color(out_, m.Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS ? c : aiColor4D(0, 0, 0, 1));
        out_.f32(m.Get(AI_MATKEY_SHININESS, number) == AI_SUCCESS ? number : 0.0f);
        const float opacity = m.Get(AI_MATKEY_OPACITY, number) == AI_SUCCESS ? std::clamp(number, 0.0f, 1.0f) : 1.0f;
        out_.f32(opacity);
        aiString alphaMode;
        std::uint8_t mode = 0;  // opaque, mask, blend
        if (m.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
            const std::string text = alphaMode.C_Str();
            mode = text == "MASK" ? 1 : text == "BLEND" ? 2 : 0;
        } else if (opacity < 1.0f) {
            mode = 2;
        }
        out_.u8(mode);
        out_.f32(m.Get(AI_MATKEY_GLTF_ALPHACUTOFF, number) == AI_SUCCESS ? number : 0.5f);
        out_.u8(m.Get(AI_MATKEY_TWOSIDED, flag) == AI_SUCCESS && flag != 0 ? 1 : 0);
        flush();
    }

    const aiScene& scene_;
    double scale_;
    const std::function<void(std::string_view)>& sink_;
    wire::Writer out_;
    std::map<std::string, std::uint32_t> cameraByName_;
    std::map<std::string, std::uint32_t> lightByName_;
    std::map<std::vector<unsigned>, std::uint32_t> geometryByMeshes_;
    std::map<std::string, std::size_t> textureByReference_;
    std::string failed_;  // why the scene cannot go out, once known
};

/// glTF gives its single root node as Assimp's root; several roots come under a made-up "ROOT".
bool rootIsFileNode(const std::string& format, const aiScene& scene) {
    return (format == "gltf" || format == "glb") && std::string(scene.mRootNode->mName.C_Str()) != "ROOT";
}

}  // namespace

wire::Exit importWithAssimp(const AssimpImportRequest& request, const std::function<void(std::string_view)>& sink) {
    Assimp::Importer importer;
    if (!request.format.empty()) keepOnlyReadersOf(importer, request.format);
    importer.SetProgressHandler(new ProgressFrames(sink));  // the importer owns and deletes it
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* scene = importer.ReadFile(request.file.string(), kPostProcessing);
    if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        const std::string reason = importer.GetErrorString();
        sendFailure(sink, reason.empty() ? "the importer made no scene of it" : reason);
        return wire::Exit::refused;
    }
    Converter converter(*scene, request.unitScale, sink);
    converter.summary();
    converter.materials();
    converter.camerasAndLights();
    return converter.nodes(rootIsFileNode(request.format, *scene)) ? wire::Exit::ok : wire::Exit::refused;
}

}  // namespace vantrel::detail
