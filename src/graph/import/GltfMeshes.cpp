#include "graph/import/GltfMeshes.hpp"

#include "graph/import/GltfAccessors.hpp"

#include <draco/compression/decode.h>
#include <glm/geometric.hpp>

#include <algorithm>

namespace vantrel::detail {

namespace {

constexpr std::size_t kMaxTextureSets = 4;

/// One primitive's vertices and triangle-list indices.
struct Primitive {
    std::vector<glm::vec3> positions;
    std::vector<glm::vec3> normals;
    std::vector<glm::vec4> tangents;
    std::vector<glm::vec4> colors;
    std::vector<std::vector<glm::vec2>> textureCoordinates;
    std::vector<std::uint32_t> indices;
};

template <class Vec>
std::vector<Vec> toVectors(const std::vector<float>& values, int components, float fill) {
    std::vector<Vec> out(values.size() / static_cast<std::size_t>(components));
    for (std::size_t i = 0; i < out.size(); ++i) {
        Vec v(fill);
        for (int c = 0; c < components && c < Vec::length(); ++c) v[c] = values[i * components + c];
        out[i] = v;
    }
    return out;
}

/// Reads one attribute into `primitive` from floats with `components` per vertex.
void store(Primitive& p, const std::string& name, const std::vector<float>& values, int components) {
    if (name == "POSITION") {
        p.positions = toVectors<glm::vec3>(values, components, 0.0f);
    } else if (name == "NORMAL") {
        p.normals = toVectors<glm::vec3>(values, components, 0.0f);
        for (auto& n : p.normals) {
            const float length = glm::length(n);
            n = length > 0 ? n / length : glm::vec3(0, 0, 1);
        }
    } else if (name == "TANGENT" && components == 4) {
        p.tangents = toVectors<glm::vec4>(values, components, 1.0f);
    } else if (name == "COLOR_0") {
        p.colors = toVectors<glm::vec4>(values, components, 1.0f);
    } else if (name.rfind("TEXCOORD_", 0) == 0 && components == 2) {
        const auto set = static_cast<std::size_t>(std::strtoul(name.c_str() + 9, nullptr, 10));
        if (set >= kMaxTextureSets || name.size() < 10) return;
        if (p.textureCoordinates.size() <= set) p.textureCoordinates.resize(set + 1);
        p.textureCoordinates[set] = toVectors<glm::vec2>(values, components, 0.0f);
    }
}

int allowedComponentsOf(const std::string& name) {
    if (name == "POSITION" || name == "NORMAL") return 3;
    if (name == "TANGENT") return 4;
    if (name.rfind("TEXCOORD_", 0) == 0) return 2;
    return 0;
}

/// Decodes a Draco-compressed primitive: the attributes it maps and its faces.
void readDraco(GltfDocument& document, const nlohmann::json& extension, Primitive& p) {
    const auto bytes = document.bufferView(
        requiredIndex(extension, "bufferView", topLevelArray(document.json(), "bufferViews").size()));
    const auto* attributes = objectMember(extension, "attributes");
    if (!attributes) invalidGltf("A Draco primitive maps no attributes");
    draco::DecoderBuffer buffer;
    buffer.Init(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    draco::Decoder decoder;
    auto decoded = decoder.DecodeMeshFromBuffer(&buffer);
    if (!decoded.ok() || !decoded.value()) invalidGltf("A Draco primitive does not decode");
    const std::unique_ptr<draco::Mesh> mesh = std::move(decoded).value();
    const std::uint64_t points = mesh->num_points();
    if (points > document.options().maxVertices || mesh->num_faces() > document.options().maxTriangles)
        failGltf(SCNSceneSourceError::limitExceeded, "A Draco primitive is larger than the budgets allow");
    for (auto it = attributes->begin(); it != attributes->end(); ++it) {
        if (!it->is_number_unsigned()) invalidGltf("A Draco attribute id is not a number");
        const auto* attribute = mesh->GetAttributeByUniqueId(it->get<std::uint32_t>());
        if (!attribute) invalidGltf("A Draco attribute is missing");
        const int components = attribute->num_components();
        if (components < 1 || components > 4) invalidGltf("A Draco attribute has a bad size");
        std::vector<float> values(static_cast<std::size_t>(points) * components);
        for (std::uint32_t i = 0; i < points; ++i) {
            if (!attribute->ConvertValue<float>(attribute->mapped_index(draco::PointIndex(i)),
                                                static_cast<std::int8_t>(components), values.data() + i * components))
                invalidGltf("A Draco attribute does not convert");
            document.progress().poll();
        }
        store(p, it.key(), values, components);
    }
    p.indices.resize(static_cast<std::size_t>(mesh->num_faces()) * 3);
    for (draco::FaceIndex f(0); f < mesh->num_faces(); ++f) {
        const auto& face = mesh->face(f);
        for (int k = 0; k < 3; ++k) p.indices[f.value() * 3 + k] = face[k].value();
    }
}

/// Triangle lists from strips and fans.
std::vector<std::uint32_t> triangleList(const std::vector<std::uint32_t>& indices, std::uint64_t mode) {
    if (mode == 4) return indices;
    std::vector<std::uint32_t> out;
    for (std::size_t i = 2; i < indices.size(); ++i) {
        if (mode == 5) {
            const bool even = i % 2 == 0;
            out.insert(out.end(), {indices[i - 2], even ? indices[i - 1] : indices[i], even ? indices[i] : indices[i - 1]});
        } else {
            out.insert(out.end(), {indices[0], indices[i - 1], indices[i]});
        }
    }
    return out;
}

/// glTF's rule for primitives without normals: flat shading, so every triangle gets its own corners.
void makeFlatNormals(Primitive& p) {
    Primitive flat;
    flat.positions.reserve(p.indices.size());
    flat.textureCoordinates.resize(p.textureCoordinates.size());
    for (std::size_t i = 0; i < p.indices.size(); ++i) {
        const auto v = p.indices[i];
        flat.positions.push_back(p.positions[v]);
        if (!p.colors.empty()) flat.colors.push_back(p.colors[v]);
        for (std::size_t s = 0; s < p.textureCoordinates.size(); ++s)
            if (!p.textureCoordinates[s].empty()) flat.textureCoordinates[s].push_back(p.textureCoordinates[s][v]);
        flat.indices.push_back(static_cast<std::uint32_t>(i));
    }
    flat.normals.resize(flat.positions.size());
    for (std::size_t i = 0; i + 2 < flat.positions.size(); i += 3) {
        const glm::vec3 n = glm::cross(flat.positions[i + 1] - flat.positions[i], flat.positions[i + 2] - flat.positions[i]);
        const float length = glm::length(n);
        const glm::vec3 unitNormal = length > 0 ? n / length : glm::vec3(0, 0, 1);
        flat.normals[i] = flat.normals[i + 1] = flat.normals[i + 2] = unitNormal;
    }
    p = std::move(flat);
}

}  // namespace

std::optional<ImportedGeometry> GltfMeshes::geometry(std::size_t index, std::size_t variantCount) {
    const auto& meshes = topLevelArray(document_.json(), "meshes");
    if (index >= meshes.size()) invalidGltf("A node names a mesh that is not there");
    const auto& mesh = meshes[index];
    const auto* primitives = member(mesh, "primitives");
    if (!primitives || !primitives->is_array()) invalidGltf("A mesh has no primitives");
    const auto& options = document_.options();
    const auto accessorCount = topLevelArray(document_.json(), "accessors").size();
    const auto materialCount = topLevelArray(document_.json(), "materials").size();

    std::vector<Primitive> parts;
    ImportedGeometry imported;
    for (const auto& primitive : *primitives) {
        const auto mode = unsignedOr(primitive, "mode", 4);
        if (mode < 4 || mode > 6) continue;  // points and lines are not drawn
        const auto* attributes = objectMember(primitive, "attributes");
        if (!attributes) invalidGltf("A primitive has no attributes");
        Primitive p;
        const auto* extensions = objectMember(primitive, "extensions");
        const auto* draco = extensions ? objectMember(*extensions, "KHR_draco_mesh_compression") : nullptr;
        if (draco) {
            readDraco(document_, *draco, p);
        } else {
            // The sizes first: nothing is read when the budgets would be broken.
            const auto position = requiredIndex(*attributes, "POSITION", accessorCount);
            const auto vertexCount = gltfAccessorCount(document_, position);
            if (vertexCount > options.maxVertices || vertices_ > options.maxVertices - vertexCount)
                failGltf(SCNSceneSourceError::limitExceeded, "The model has more vertices than the budget allows");
            const auto indices = indexOf(primitive, "indices", accessorCount);
            const auto cornerCount = indices ? gltfAccessorCount(document_, *indices) : vertexCount;
            if (cornerCount / 3 > options.maxTriangles || triangles_ > options.maxTriangles - cornerCount / 3)
                failGltf(SCNSceneSourceError::limitExceeded, "The model has more triangles than the budget allows");
            for (auto it = attributes->begin(); it != attributes->end(); ++it) {
                const auto& name = it.key();
                const int components = allowedComponentsOf(name);
                const bool wanted = components != 0 || name == "COLOR_0";
                if (!wanted) continue;
                const auto accessor = requiredIndex(*attributes, name.c_str(), accessorCount);
                if (gltfAccessorCount(document_, accessor) != vertexCount)
                    invalidGltf("A primitive's attributes differ in length");
                const auto floats = components ? readGltfFloats(document_, accessor, {components})
                                               : readGltfFloats(document_, accessor, {3, 4});
                store(p, name, floats.values, floats.components);
            }
            if (indices) {
                p.indices = readGltfIndices(document_, *indices);
            } else {
                p.indices.resize(static_cast<std::size_t>(vertexCount));
                for (std::uint32_t i = 0; i < vertexCount; ++i) p.indices[i] = i;
            }
        }
        const auto vertexCount = p.positions.size();
        if (vertexCount == 0) continue;
        if (vertexCount > options.maxVertices || vertices_ > options.maxVertices - vertexCount)
            failGltf(SCNSceneSourceError::limitExceeded, "The model has more vertices than the budget allows");
        for (auto i : p.indices)
            if (i >= vertexCount) invalidGltf("A primitive's index names a vertex it does not have");
        p.indices = triangleList(p.indices, mode);
        p.indices.resize(p.indices.size() / 3 * 3);
        if (triangles_ > options.maxTriangles - std::min<std::uint64_t>(options.maxTriangles, p.indices.size() / 3))
            failGltf(SCNSceneSourceError::limitExceeded, "The model has more triangles than the budget allows");
        triangles_ += p.indices.size() / 3;
        if (p.normals.size() != vertexCount) makeFlatNormals(p);
        vertices_ += p.positions.size();
        if (p.tangents.size() != p.positions.size()) p.tangents.clear();
        if (p.colors.size() != p.positions.size()) p.colors.clear();

        const auto material = indexOf(primitive, "material", materialCount);
        imported.materialIndices.push_back(material ? *material : defaultMaterial_);
        std::vector<std::pair<std::size_t, std::size_t>> variants;
        if (const auto* v = extensions ? objectMember(*extensions, "KHR_materials_variants") : nullptr) {
            for (const auto& mapping : topLevelArray(*v, "mappings")) {
                const auto mapped = requiredIndex(mapping, "material", materialCount);
                for (const auto& variant : topLevelArray(mapping, "variants")) {
                    if (!variant.is_number_unsigned() || variant.get<std::size_t>() >= variantCount)
                        invalidGltf("A primitive maps a variant that is not there");
                    variants.emplace_back(variant.get<std::size_t>(), mapped);
                }
            }
        }
        imported.variantMaterials.push_back(std::move(variants));
        parts.push_back(std::move(p));
        document_.progress().pollNow();
    }
    if (parts.empty()) return std::nullopt;

    SCNGeometrySource source;
    std::size_t sets = 0;
    bool tangents = true;
    bool colors = false;
    std::size_t total = 0;
    for (const auto& p : parts) {
        sets = std::max(sets, p.textureCoordinates.size());
        tangents = tangents && !p.tangents.empty();
        colors = colors || !p.colors.empty();
        total += p.positions.size();
    }
    source.textureCoordinates.resize(sets);
    std::vector<SCNGeometryElement> elements;
    for (auto& p : parts) {
        const auto base = static_cast<std::uint32_t>(source.vertices.size());
        const auto count = p.positions.size();
        source.vertices.insert(source.vertices.end(), p.positions.begin(), p.positions.end());
        source.normals.insert(source.normals.end(), p.normals.begin(), p.normals.end());
        if (tangents) source.tangents.insert(source.tangents.end(), p.tangents.begin(), p.tangents.end());
        if (colors) {
            if (p.colors.empty()) p.colors.assign(count, glm::vec4(1.0f));
            source.colors.insert(source.colors.end(), p.colors.begin(), p.colors.end());
        }
        for (std::size_t s = 0; s < sets; ++s) {
            auto& target = source.textureCoordinates[s];
            if (s < p.textureCoordinates.size() && p.textureCoordinates[s].size() == count) {
                target.insert(target.end(), p.textureCoordinates[s].begin(), p.textureCoordinates[s].end());
            } else {
                target.resize(target.size() + count, glm::vec2(0.0f));
            }
        }
        SCNGeometryElement element;
        element.bytesPerIndex = total <= 0x10000 ? 2 : 4;
        element.indices = std::move(p.indices);
        for (auto& i : element.indices) i += base;
        elements.push_back(std::move(element));
        std::vector<glm::vec3>().swap(p.positions);
    }
    if (scale_ != 1.0f)
        for (auto& v : source.vertices) v *= scale_;
    imported.geometry = SCNGeometry::make(std::move(source), std::move(elements));
    imported.geometry->setName(stringOr(mesh, "name"));
    bool anyVariant = false;
    for (const auto& v : imported.variantMaterials) anyVariant = anyVariant || !v.empty();
    if (!anyVariant) imported.variantMaterials.clear();
    return imported;
}

}  // namespace vantrel::detail
