#include "graph/import/GltfReader.hpp"

#include "graph/import/GltfMaterials.hpp"
#include "graph/import/GltfMeshes.hpp"

#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cmath>
#include <map>
#include <new>

namespace vantrel::detail {

namespace {

namespace fs = std::filesystem;

glm::mat4 localTransform(const nlohmann::json& node) {
    if (member(node, "matrix")) {
        const auto m = numbersOr<16>(node, "matrix", {});
        glm::mat4 result;
        for (int i = 0; i < 16; ++i) glm::value_ptr(result)[i] = static_cast<float>(m[i]);
        return result;
    }
    const auto t = numbersOr<3>(node, "translation", {0, 0, 0});
    const auto r = numbersOr<4>(node, "rotation", {0, 0, 0, 1});
    const auto s = numbersOr<3>(node, "scale", {1, 1, 1});
    glm::quat rotation(static_cast<float>(r[3]), static_cast<float>(r[0]), static_cast<float>(r[1]),
                       static_cast<float>(r[2]));
    const float length = glm::length(rotation);
    rotation = length > 0 ? rotation / length : glm::quat(1, 0, 0, 0);
    glm::mat4 result = glm::mat4_cast(rotation);
    result[0] *= static_cast<float>(s[0]);
    result[1] *= static_cast<float>(s[1]);
    result[2] *= static_cast<float>(s[2]);
    result[3] = glm::vec4(static_cast<float>(t[0]), static_cast<float>(t[1]), static_cast<float>(t[2]), 1.0f);
    return result;
}

class Reader {
public:
    Reader(const fs::path& file, const SCNSceneSourceOptions& options, GltfProgress& progress)
        : document_(file, options, progress), progress_(progress), scale_(options.convertUnitsToMeters) {
        if (!std::isfinite(scale_) || scale_ <= 0) scale_ = 1.0;
    }

    std::shared_ptr<SCNSceneSource::Prepared> read() {
        auto prepared = std::make_shared<SCNSceneSource::Prepared>();
        progress_.report(0.05, SCNSceneSourceStatus::validating);
        const auto roots = checkedRoots();  // the node tree is sound before anything is built on it
        variants(*prepared);

        GltfTextures textures(document_);
        textures.decodeUsed(0.1, 0.6);
        for (const auto& material : topLevelArray(document_.json(), "materials"))
            prepared->materials.push_back(gltfMaterial(material, textures));
        defaultMaterial_ = prepared->materials.size();
        prepared->materials.push_back(gltfDefaultMaterial());

        camerasAndLights(*prepared);
        meshes_.emplace(document_, defaultMaterial_, scale_);
        const auto& nodes = topLevelArray(document_.json(), "nodes");
        meshCount_ = std::max<std::size_t>(1, topLevelArray(document_.json(), "meshes").size());
        for (auto root : roots) {
            prepared->topLevel.emplace_back();
            build(root, prepared->topLevel.back(), nodes, *prepared);
        }

        for (std::size_t i = 0; i < prepared->geometries.size(); ++i) {
            progress_.report(0.9 + 0.09 * static_cast<double>(i) / static_cast<double>(prepared->geometries.size()),
                             SCNSceneSourceStatus::processing);
            prepared->geometries[i].geometry->prepareForHitTesting();
        }
        return prepared;
    }

private:
    /// The roots of the scene to show, after checking the whole node graph without recursion: every
    /// node has at most one parent, no scene root has one, and no path is deeper than the budget.
    std::vector<std::size_t> checkedRoots() {
        const auto& nodes = topLevelArray(document_.json(), "nodes");
        std::vector<std::size_t> parent(nodes.size(), nodes.size());
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (!nodes[i].is_object()) invalidGltf("A node is not an object");
            for (const auto& child : topLevelArray(nodes[i], "children")) {
                if (!child.is_number_unsigned() || child.get<std::size_t>() >= nodes.size())
                    invalidGltf("A node names a child that is not there");
                const auto c = child.get<std::size_t>();
                if (parent[c] != nodes.size() || c == i) invalidGltf("A node has more than one parent");
                parent[c] = i;
            }
        }
        std::vector<std::size_t> roots;
        const auto& scenes = topLevelArray(document_.json(), "scenes");
        if (!scenes.empty()) {
            const auto scene = indexOf(document_.json(), "scene", scenes.size()).value_or(0);
            for (const auto& root : topLevelArray(scenes[scene], "nodes")) {
                if (!root.is_number_unsigned() || root.get<std::size_t>() >= nodes.size())
                    invalidGltf("A scene names a node that is not there");
                if (parent[root.get<std::size_t>()] != nodes.size()) invalidGltf("A scene's root node has a parent");
                roots.push_back(root.get<std::size_t>());
            }
        } else {
            for (std::size_t i = 0; i < nodes.size(); ++i)
                if (parent[i] == nodes.size()) roots.push_back(i);
        }
        const std::size_t maxDepth = document_.options().maxNodeDepth;
        std::vector<std::pair<std::size_t, std::size_t>> pending;  // node, depth
        std::vector<bool> seen(nodes.size(), false);
        for (auto root : roots) pending.emplace_back(root, 1);
        while (!pending.empty()) {
            const auto [node, depth] = pending.back();
            pending.pop_back();
            if (depth > maxDepth)
                failGltf(SCNSceneSourceError::limitExceeded,
                         "The model's nodes are nested deeper than " + std::to_string(maxDepth) + " levels");
            if (seen[node]) invalidGltf("A node is shown twice");
            seen[node] = true;
            for (const auto& child : topLevelArray(nodes[node], "children"))
                pending.emplace_back(child.get<std::size_t>(), depth + 1);
            progress_.poll();
        }
        return roots;
    }

    void variants(SCNSceneSource::Prepared& out) {
        const auto* extensions = objectMember(document_.json(), "extensions");
        const auto* variants = extensions ? objectMember(*extensions, "KHR_materials_variants") : nullptr;
        if (!variants) return;
        for (const auto& variant : topLevelArray(*variants, "variants")) out.variantNames.push_back(stringOr(variant, "name"));
    }

    void camerasAndLights(SCNSceneSource::Prepared& out) {
        for (const auto& camera : topLevelArray(document_.json(), "cameras")) {
            ImportedCamera c;
            c.name = stringOr(camera, "name");
            if (const auto* perspective = objectMember(camera, "perspective")) {
                const double yfov = numberOr(*perspective, "yfov", 0.0);
                if (yfov > 0 && yfov < M_PI) c.fieldOfViewDegrees = yfov * 180.0 / M_PI;
                const double znear = numberOr(*perspective, "znear", 0.0);
                if (znear > 0) c.zNear = znear * scale_;
                const double zfar = numberOr(*perspective, "zfar", 0.0);
                if (zfar > znear && znear > 0) c.zFar = zfar * scale_;
            } else if (const auto* ortho = objectMember(camera, "orthographic")) {
                c.orthographic = true;
                c.orthographicScale = std::abs(numberOr(*ortho, "xmag", 1.0)) * scale_;
                const double znear = numberOr(*ortho, "znear", 0.0);
                const double zfar = numberOr(*ortho, "zfar", 0.0);
                if (znear > 0) c.zNear = znear * scale_;
                if (zfar > znear) c.zFar = zfar * scale_;
            }
            out.cameras.push_back(std::move(c));
        }
        const auto* extensions = objectMember(document_.json(), "extensions");
        const auto* punctual = extensions ? objectMember(*extensions, "KHR_lights_punctual") : nullptr;
        if (!punctual) return;
        for (const auto& light : topLevelArray(*punctual, "lights")) {
            ImportedLight l;
            l.name = stringOr(light, "name");
            const auto type = stringOr(light, "type");
            l.type = type == "directional" ? SCNLightType::directional
                     : type == "spot"      ? SCNLightType::spot
                                           : SCNLightType::omni;
            const auto color = numbersOr<3>(light, "color", {1, 1, 1});
            l.color = UIColor(color[0], color[1], color[2]);
            // Lux or candela; the graph's 1000 is the renderer's unit strength, which a Lambert
            // surface turns into its own colour, where a physical light of 1 gives it 1/π.
            l.intensity = 1000.0 / M_PI * std::max(0.0, numberOr(light, "intensity", 1.0));
            if (member(light, "range")) {
                const double range = numberOr(light, "range", 0.0);
                if (range > 0) l.range = range * scale_;
            }
            if (const auto* spot = objectMember(light, "spot")) {
                l.spotInnerAngle = 2.0 * numberOr(*spot, "innerConeAngle", 0.0) * 180.0 / M_PI;
                l.spotOuterAngle = 2.0 * numberOr(*spot, "outerConeAngle", M_PI / 4) * 180.0 / M_PI;
            }
            out.lights.push_back(std::move(l));
        }
    }

    /// Fills `target` from node `index` and its subtree, without recursion (depth was checked, but a
    /// flat walk costs nothing and keeps the stack out of it).
    void build(std::size_t index, ImportedNode& target, const nlohmann::json& nodes, SCNSceneSource::Prepared& out) {
        std::vector<std::pair<std::size_t, ImportedNode*>> pending{{index, &target}};
        const auto cameraCount = out.cameras.size();
        const auto lightCount = out.lights.size();
        while (!pending.empty()) {
            const auto [nodeIndex, result] = pending.back();
            pending.pop_back();
            const auto& node = nodes[nodeIndex];
            result->name = stringOr(node, "name");
            result->transform = localTransform(node);
            result->transform[3] = glm::vec4(glm::vec3(result->transform[3]) * static_cast<float>(scale_), 1.0f);
            result->camera = indexOf(node, "camera", cameraCount);
            if (const auto* extensions = objectMember(node, "extensions"))
                if (const auto* light = objectMember(*extensions, "KHR_lights_punctual"))
                    result->light = indexOf(*light, "light", lightCount);
            if (const auto mesh = indexOf(node, "mesh", topLevelArray(document_.json(), "meshes").size()))
                result->geometry = geometryOfMesh(*mesh, out);
            const auto& children = topLevelArray(node, "children");
            result->children.resize(children.size());  // sized once: the pointers below stay valid
            for (std::size_t i = 0; i < children.size(); ++i)
                pending.emplace_back(children[i].get<std::size_t>(), &result->children[i]);
        }
    }

    std::optional<std::size_t> geometryOfMesh(std::size_t mesh, SCNSceneSource::Prepared& out) {
        if (auto found = geometryByMesh_.find(mesh); found != geometryByMesh_.end()) return found->second;
        std::optional<std::size_t> result;
        if (auto geometry = meshes_->geometry(mesh, out.variantNames.size())) {
            result = out.geometries.size();
            out.geometries.push_back(std::move(*geometry));
        }
        geometryByMesh_.emplace(mesh, result);
        progress_.report(0.6 + 0.3 * static_cast<double>(geometryByMesh_.size()) / static_cast<double>(meshCount_),
                         SCNSceneSourceStatus::processing);
        return result;
    }

    GltfDocument document_;
    GltfProgress& progress_;
    double scale_;
    std::size_t defaultMaterial_ = 0;
    std::size_t meshCount_ = 1;
    std::optional<GltfMeshes> meshes_;
    std::map<std::size_t, std::optional<std::size_t>> geometryByMesh_;
};

Error readError(SCNSceneSourceError code, const std::string& message) {
    return Error(SCNSceneSource::errorDomain, static_cast<long>(code), message);
}

}  // namespace

bool isGltfFile(const fs::path& file) {
    auto extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".gltf" || extension == ".glb";
}

Expected<std::shared_ptr<SCNSceneSource::Prepared>> readGltfScene(const fs::path& file,
                                                                  const SCNSceneSourceOptions& options,
                                                                  const SCNSceneSource::StatusHandler& statusHandler) {
    GltfProgress progress(statusHandler);
    const auto fail = [&](Error error) -> Error {
        bool stop = false;
        if (statusHandler) statusHandler(0.0, SCNSceneSourceStatus::error, error, stop);
        return error;
    };
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return fail(readError(SCNSceneSourceError::unreadableFile, "Unable to read the scene file '" + file.string() + "'"));
    // The boundary of the reader: nothing it meets inside leaves as an exception.
    try {
        progress.report(0.0, SCNSceneSourceStatus::parsing);
        Reader reader(file, options, progress);
        return reader.read();
    } catch (const GltfFailure& failure) {
        Error error = failure.error;
        error.message = "Unable to read the scene file '" + file.string() + "': " + error.message;
        if (failure.error.code == static_cast<long>(SCNSceneSourceError::cancelled))
            error.message = "Loading of '" + file.string() + "' was stopped";
        return fail(std::move(error));
    } catch (const std::bad_alloc&) {
        return fail(readError(SCNSceneSourceError::outOfMemory, "Out of memory reading '" + file.string() + "'"));
    } catch (const std::exception& e) {
        return fail(readError(SCNSceneSourceError::invalidScene,
                              "Unable to read the scene file '" + file.string() + "': " + e.what()));
    } catch (...) {
        return fail(readError(SCNSceneSourceError::invalidScene, "Unable to read the scene file '" + file.string() + "'"));
    }
}

}  // namespace vantrel::detail
