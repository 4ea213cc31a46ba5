// Phase one of a scene source: the import helper reads the file in its own process, and its answer
// is turned into geometry, decoded textures and a plain node tree, all off the main thread. The
// answer is checked as untrusted input: every index, count and nesting level.

#include "graph/import/SceneReading.hpp"

#include "graph/import/GltfReader.hpp"
#include "graph/import/ImportedScene.hpp"
#include "graph/import/TextureReading.hpp"

#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vantrel {

namespace {

using detail::wire::Frame;
using detail::wire::kNone;

/// The scene graph takes no deeper trees (the helper refuses them too).
constexpr int kMaxNodeDepth = 1024;
/// Texture-coordinate sets a texture may name (Assimp's own limit).
constexpr std::uint32_t kMaxChannels = 8;

Error sourceError(SCNSceneSourceError code, std::string message) {
    return Error(SCNSceneSource::errorDomain, static_cast<long>(code), std::move(message));
}

/// Hands progress to the status handler and keeps its stop flag; asked again while the helper is
/// quiet, so that a stop is seen within a tick whatever the file does.
class StatusReporter {
public:
    explicit StatusReporter(const SCNSceneSource::StatusHandler& handler) : handler_(handler) {}

    void report(double progress, SCNSceneSourceStatus status) {
        progress_ = std::max(progress_, progress);
        status_ = status;
        if (handler_) handler_(progress_, status_, std::nullopt, stop_);
    }
    /// Asks the handler again with what it was told last; true when it asked to stop.
    bool stopRequested() {
        if (handler_ && !stop_) handler_(progress_, status_, std::nullopt, stop_);
        return stop_;
    }
    [[nodiscard]] bool stopped() const noexcept { return stop_; }
    void fail(const Error& error) {
        if (handler_) handler_(0.0, SCNSceneSourceStatus::error, error, stop_);
    }

private:
    const SCNSceneSource::StatusHandler& handler_;
    double progress_ = 0.0;
    SCNSceneSourceStatus status_ = SCNSceneSourceStatus::parsing;
    bool stop_ = false;
};

UIColor readColor(detail::wire::Reader& in) {
    const float r = in.f32(), g = in.f32(), b = in.f32(), a = in.f32();
    return {r, g, b, a};
}

/// Puts the helper's frames together as the prepared scene.
class SceneAssembler {
public:
    SceneAssembler(const SCNSceneSource& source, StatusReporter& status, SCNSceneSource::Prepared& out)
        : source_(source), status_(status), out_(out) {}

    std::optional<Error> take(const detail::ImportFrame& frame) {
        detail::wire::Reader in(frame.payload);
        std::optional<Error> error;
        switch (frame.type) {
            case Frame::progress: {
                const float fraction = in.f32();
                const double clamped = std::isfinite(fraction) ? std::clamp(static_cast<double>(fraction), 0.0, 1.0) : 0;
                status_.report(0.8 * clamped,
                               clamped < 0.5 ? SCNSceneSourceStatus::parsing : SCNSceneSourceStatus::processing);
                break;
            }
            case Frame::failure: {
                const std::string reason = in.string();
                if (in.ok())
                    return sourceError(SCNSceneSourceError::invalidScene,
                                       "Unable to read the scene file '" + source_.url().string() + "': " + reason);
                break;
            }
            case Frame::summary: meshes_ = in.u32(); break;
            case Frame::texture: texture(in); break;
            case Frame::material: material(in); break;
            case Frame::camera: camera(in); break;
            case Frame::light: light(in); break;
            case Frame::geometry: error = geometry(in); break;
            case Frame::nodes: error = nodes(in); break;
            case Frame::end: complete_ = true; break;
            default: in.fail(); break;
        }
        if (error) return error;
        if (!in.ok() || !in.atEnd())
            return broken("a frame of type " + std::to_string(static_cast<int>(frame.type)) + " does not parse");
        if (status_.stopped()) return cancelled();
        return std::nullopt;
    }

    [[nodiscard]] bool complete() const noexcept { return complete_; }

    Error cancelled() const {
        return sourceError(SCNSceneSourceError::cancelled, "Loading of '" + source_.url().string() + "' was stopped");
    }

private:
    static Error broken(const std::string& what) {
        return sourceError(SCNSceneSourceError::importerFailed, "the importer's answer is broken: " + what);
    }

    void texture(detail::wire::Reader& in) {
        const std::string reference = in.string();
        const auto kind = static_cast<detail::wire::TextureKind>(in.u8());
        detail::EmbeddedTexture embedded;
        bool hasEmbedded = true;
        switch (kind) {
            case detail::wire::TextureKind::reference: hasEmbedded = false; break;
            case detail::wire::TextureKind::encoded: embedded.encoded = in.bytes(in.u32()); break;
            case detail::wire::TextureKind::rgba: {
                const std::uint32_t width = in.u32(), height = in.u32();
                embedded.width = static_cast<int>(std::min<std::uint32_t>(width, 1u << 30));
                embedded.height = static_cast<int>(std::min<std::uint32_t>(height, 1u << 30));
                embedded.rgba = in.bytes(in.u32());
                break;
            }
            default: in.fail(); break;
        }
        if (!in.ok()) return;
        textures_.push_back(images_.image(reference, hasEmbedded ? &embedded : nullptr));
    }

    /// A texture slot of a material: an index into the textures sent before it, or none.
    std::optional<detail::ImportedTexture> textureSlot(detail::wire::Reader& in) {
        const std::uint32_t index = in.u32(), channel = in.u32();
        if (index == kNone) return std::nullopt;
        if (index >= textures_.size() || channel >= kMaxChannels) {
            in.fail();
            return std::nullopt;
        }
        if (!textures_[index]) return std::nullopt;
        return detail::ImportedTexture{textures_[index], static_cast<int>(channel)};
    }

    void material(detail::wire::Reader& in) {
        detail::ImportedMaterial m;
        m.name = in.string();
        m.physicallyBased = in.u8() != 0;
        m.diffuse = readColor(in);
        m.diffuseTexture = textureSlot(in);
        m.metalness = in.f32();
        m.roughness = in.f32();
        m.metallicRoughnessTexture = textureSlot(in);
        m.normalTexture = textureSlot(in);
        m.occlusionTexture = textureSlot(in);
        m.emission = readColor(in);
        m.emissionTexture = textureSlot(in);
        m.specular = readColor(in);
        m.shininess = in.f32();
        m.opacity = std::clamp(static_cast<double>(in.f32()), 0.0, 1.0);
        const std::uint8_t mode = in.u8();
        if (mode > 2) in.fail();
        m.alphaMode = mode == 1   ? detail::ImportedAlphaMode::mask
                      : mode == 2 ? detail::ImportedAlphaMode::blend
                                  : detail::ImportedAlphaMode::opaque;
        m.alphaCutoff = in.f32();
        m.doubleSided = in.u8() != 0;
        if (in.ok()) out_.materials.push_back(std::move(m));
    }

    void camera(detail::wire::Reader& in) {
        detail::ImportedCamera camera;
        camera.name = in.string();
        const std::uint8_t given = in.u8();
        const double fieldOfView = in.f64(), zNear = in.f64(), zFar = in.f64(), width = in.f64();
        if (given & 1) camera.fieldOfViewDegrees = fieldOfView;
        if (given & 2) camera.zNear = zNear;
        if (given & 4) camera.zFar = zFar;
        camera.orthographic = (given & 8) != 0;
        if (camera.orthographic) camera.orthographicScale = width;
        if (in.ok()) out_.cameras.push_back(std::move(camera));
    }

    void light(detail::wire::Reader& in) {
        detail::ImportedLight light;
        light.name = in.string();
        const std::uint8_t type = in.u8();
        const float r = in.f32(), g = in.f32(), b = in.f32();
        switch (type) {
            case 0: light.type = SCNLightType::omni; break;
            case 1: light.type = SCNLightType::directional; break;
            case 2: light.type = SCNLightType::spot; break;
            case 3: light.type = SCNLightType::ambient; break;
            default: in.fail(); break;
        }
        // Assimp folds the intensity into the colour; the brightest channel gives it back.
        const double peak = std::max({r, g, b});
        if (std::isfinite(peak) && peak > 0) {
            light.color = UIColor(r / peak, g / peak, b / peak);
            light.intensity = 1000.0 * peak;
        }
        if (in.ok()) out_.lights.push_back(std::move(light));
    }

    std::optional<Error> geometry(detail::wire::Reader& in) {
        const std::string name = in.string();
        const std::uint32_t vertexCount = in.u32();
        const std::uint8_t attributes = in.u8();
        const std::uint32_t channels = in.u32();
        if (!in.ok() || channels > kMaxChannels) return broken("geometry '" + name + "'");
        SCNGeometrySource source;
        // Each attribute has a value for every vertex, or the geometry is refused.
        bool counted = true;
        const auto attribute = [&](auto& values) {
            values = in.template array<typename std::decay_t<decltype(values)>::value_type>();
            counted = counted && values.size() == vertexCount;
        };
        attribute(source.vertices);
        if (attributes & 1) attribute(source.normals);
        if (attributes & 2) attribute(source.tangents);
        if (attributes & 4) attribute(source.colors);
        source.textureCoordinates.resize(channels);
        for (auto& set : source.textureCoordinates) attribute(set);
        const std::uint32_t parts = in.u32();
        if (!in.ok() || !counted || parts == 0 || parts > in.remaining() / 9)
            return broken("geometry '" + name + "' has attributes of the wrong size");
        std::vector<SCNGeometryElement> elements(parts);
        detail::ImportedGeometry imported;
        for (auto& element : elements) {
            element.bytesPerIndex = in.u8();
            element.indices = in.array<std::uint32_t>();
            imported.materialIndices.push_back(in.u32());
            if (!in.ok() || (element.bytesPerIndex != 2 && element.bytesPerIndex != 4) ||
                (element.bytesPerIndex == 2 && vertexCount > 0x10000) || element.indices.size() % 3 != 0)
                return broken("geometry '" + name + "' has a malformed part");
            if (std::any_of(element.indices.begin(), element.indices.end(),
                            [&](std::uint32_t i) { return i >= vertexCount; }))
                return broken("geometry '" + name + "' names a vertex it does not have");
        }
        imported.geometry = SCNGeometry::make(std::move(source), std::move(elements));
        imported.geometry->setName(name);
        out_.geometries.push_back(std::move(imported));
        // Each part is one mesh of the file; a mesh shown by several nodes counts once.
        meshesRead_ += parts;
        status_.report(0.8 + 0.15 * (meshes_ == 0 ? 1.0 : std::min(1.0, meshesRead_ / static_cast<double>(meshes_))),
                       SCNSceneSourceStatus::processing);
        return std::nullopt;
    }

    std::optional<Error> nodes(detail::wire::Reader& in) {
        const std::uint32_t count = in.u32();
        if (!in.ok() || count > in.remaining() / kSmallestNode) return broken("the node list");
        out_.topLevel.reserve(count);
        for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
            auto n = node(in, 0);
            if (!n) return n.error();
            out_.topLevel.push_back(std::move(n).value());
        }
        return std::nullopt;
    }

    /// The bytes of a node without name and children: its name's length, transform and four numbers.
    static constexpr std::size_t kSmallestNode = 4 + 64 + 16;

    Expected<detail::ImportedNode> node(detail::wire::Reader& in, int depth) {
        if (depth > kMaxNodeDepth)
            return sourceError(SCNSceneSourceError::invalidScene,
                               "the scene's nodes are nested deeper than " + std::to_string(kMaxNodeDepth) + " levels");
        detail::ImportedNode result;
        result.name = in.string();
        float matrix[16];
        for (float& value : matrix) value = in.f32();
        result.transform = glm::make_mat4(matrix);
        const std::uint32_t geometry = in.u32(), camera = in.u32(), light = in.u32(), children = in.u32();
        if (!in.ok() || children > in.remaining() / kSmallestNode) return broken("node '" + result.name + "'");
        const auto index = [&](std::uint32_t value, std::size_t size) -> std::optional<std::size_t> {
            if (value == kNone) return std::nullopt;
            if (value >= size) in.fail();
            return value;
        };
        result.geometry = index(geometry, out_.geometries.size());
        result.camera = index(camera, out_.cameras.size());
        result.light = index(light, out_.lights.size());
        if (!in.ok()) return broken("node '" + result.name + "' names a part that was not sent");
        result.children.reserve(children);
        for (std::uint32_t i = 0; i < children; ++i) {
            auto child = node(in, depth + 1);
            if (!child) return child.error();
            result.children.push_back(std::move(child).value());
        }
        return result;
    }

    const SCNSceneSource& source_;
    StatusReporter& status_;
    SCNSceneSource::Prepared& out_;
    detail::TextureReader images_{source_.url(), source_.options()};
    std::vector<std::shared_ptr<UIImage>> textures_;
    std::uint32_t meshes_ = 0;
    double meshesRead_ = 0;
    bool complete_ = false;
};

}  // namespace

namespace detail {

std::optional<std::string> importFormatOf(const std::filesystem::path& file) {
    auto extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // glTF and GLB still go to Assimp here; OBJ brings its MTL file along by itself.
    for (const char* format : {"obj", "dae", "gltf", "glb"})
        if (extension == std::string(".") + format) return std::string(format);
    return std::nullopt;
}

Expected<std::shared_ptr<SCNSceneSource::Prepared>> readScene(const SCNSceneSource& source,
                                                              const SCNSceneSource::StatusHandler& statusHandler,
                                                              const ImportAnswerSource& answer) {
    StatusReporter status(statusHandler);
    const auto& url = source.url();
    const auto fail = [&](Error error) -> Error {
        status.fail(error);
        return error;
    };
    const auto format = importFormatOf(url);
    if (!format) {
        return fail(sourceError(SCNSceneSourceError::unsupportedFormat,
                                "The scene file '" + url.string() +
                                    "' is in a format this reader does not take (only glTF, GLB, OBJ and Collada)"));
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(url, ec)) {
        return fail(
            sourceError(SCNSceneSourceError::unreadableFile, "Unable to read the scene file '" + url.string() + "'"));
    }
    status.report(0.0, SCNSceneSourceStatus::parsing);

    auto prepared = std::make_shared<SCNSceneSource::Prepared>();
    SceneAssembler assembler(source, status, *prepared);
    ImportRequest request;
    request.file = url;
    request.format = *format;
    request.unitScale = source.options().convertUnitsToMeters;
    request.limits.memoryBytes = source.options().importerMemoryBytes;
    request.limits.cpuTime = std::chrono::ceil<std::chrono::seconds>(source.options().importerCpuTime);
    request.limits.wallTime = source.options().importerWallTime;
    const auto error = answer(
        request, [&](const ImportFrame& frame) { return assembler.take(frame); },
        [&] { return status.stopRequested(); });
    if (status.stopped()) return fail(assembler.cancelled());
    if (error) return fail(*error);
    if (!assembler.complete())
        return fail(sourceError(SCNSceneSourceError::importerFailed, "the importer's answer ended early"));
    // Hit tests would otherwise build each mesh's triangle tree on the main thread at the first tap.
    for (const auto& geometry : prepared->geometries) {
        geometry.geometry->prepareForHitTesting();
        if (status.stopped()) return fail(assembler.cancelled());
    }
    return prepared;
}

}  // namespace detail

std::shared_ptr<SCNSceneSource> SCNSceneSource::make(std::filesystem::path url, SCNSceneSourceOptions options) {
    return std::make_shared<SCNSceneSource>(std::move(url), std::move(options));
}

SCNSceneSource::SCNSceneSource(std::filesystem::path url, SCNSceneSourceOptions options)
    : url_(std::move(url)), options_(std::move(options)) {}

Expected<std::shared_ptr<SCNSceneSource::Prepared>> SCNSceneSource::read(const StatusHandler& statusHandler) const {
    if (detail::isGltfFile(url_)) return detail::readGltfScene(url_, options_, statusHandler);
    return detail::readScene(*this, statusHandler, detail::runImportHelper);
}

}  // namespace vantrel
