#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vantrel {

class SCNScene;

/// Where a scene source stands while it loads.
enum class SCNSceneSourceStatus {
    error = -1,
    parsing = 4,
    validating = 8,
    processing = 12,
    complete = 16,
};

/// Why a scene file could not be read (the `code` of the Error, domain `SCNSceneSource::errorDomain`).
enum class SCNSceneSourceError {
    /// The file is missing or cannot be read.
    unreadableFile = 1,
    /// The importer refused the file (unknown format, broken data).
    invalidScene = 2,
    /// The status handler asked to stop.
    cancelled = 3,
    /// The file needs an extension this reader does not have (glTF's `extensionsRequired`).
    unsupportedExtension = 4,
    /// The file asks for more than a budget of `SCNSceneSourceOptions` allows (nodes nested too
    /// deeply, too many triangles or vertices, buffers or embedded data too large).
    limitExceeded = 5,
    /// The file names a buffer or image outside the folder it may read from.
    forbiddenPath = 6,
    /// Memory ran out while reading.
    outOfMemory = 7,
    /// The file's extension names a format this reader does not take (only .gltf, .glb, .obj and
    /// .dae are read); refused before any byte is read.
    unsupportedFormat = 10,
    /// The import helper program crashed, could not be started or answered with broken data.
    importerFailed = 11,
    /// The import helper ran out of its processor or wall-clock time and was stopped.
    importerTimedOut = 12,
    /// The import helper needed more memory than it may take, or answered with more data.
    importerOutOfMemory = 13,
};

/// Options of a scene source, the platform's loading options as fields.
struct SCNSceneSourceOptions {
    /// Turns the scene so that +Y is up (glTF and OBJ are already; Collada says in its header).
    bool convertToYUp = true;
    /// Meters per unit of the file: positions and translations are multiplied by it.
    double convertUnitsToMeters = 1.0;
    /// Look for external textures in `assetDirectoryURLs` instead of beside the model file.
    bool overrideAssetURLs = false;
    /// Directories searched for external textures when `overrideAssetURLs` is set.
    std::vector<std::filesystem::path> assetDirectoryURLs;
    /// External textures must lie below this directory (the model file's directory when empty):
    /// a file that names "../../somewhere" gets no texture rather than a look outside.
    std::filesystem::path assetRootDirectory;

    // Budgets: files are untrusted, so every size a file declares is checked against these before
    // memory is taken for it. A file beyond one gives a `limitExceeded` error.

    /// The deepest nesting of nodes accepted (a top-level node is at depth 1).
    std::size_t maxNodeDepth = 1024;
    /// The most triangles a model may have, counting each mesh once however many nodes show it.
    std::uint64_t maxTriangles = 16'000'000;
    /// The most vertices a model may have, counted as for triangles.
    std::uint64_t maxVertices = 16'000'000;
    /// The most bytes of binary data (buffers, decompressed data) a model may bring.
    std::uint64_t maxBufferBytes = std::uint64_t{512} << 20;
    /// The largest JSON document accepted (the .gltf file or a GLB's JSON chunk).
    std::uint64_t maxJsonBytes = std::uint64_t{32} << 20;
    /// The largest decoded size of one embedded `data:` URI.
    std::uint64_t maxDataUriBytes = std::uint64_t{64} << 20;
    /// The most bytes the decoded textures of a model may take (4 bytes a pixel). Textures that would
    /// go beyond it are scaled down by halves until the whole set fits; they are not refused.
    std::uint64_t maxTextureBytes = std::uint64_t{512} << 20;
    /// OBJ and Collada are read by a helper program; the most memory (address space) it may take.
    /// Beyond it the read fails with `importerOutOfMemory`.
    std::uint64_t importerMemoryBytes = std::uint64_t{2} << 30;
    /// The most processor time the helper program may use; beyond it the read fails with
    /// `importerTimedOut`. Rounded up to whole seconds.
    std::chrono::milliseconds importerCpuTime{30'000};
    /// The most time from starting the helper program to the end of its answer; then it is stopped
    /// and the read fails with `importerTimedOut`.
    std::chrono::milliseconds importerWallTime{60'000};
};

/// Reads scene files (glTF 2 and GLB, OBJ with its MTL, Collada; other formats are refused) into the
/// scene graph: nodes with their names, hierarchy and transforms; one geometry per node mesh with one
/// element per part and the part's own material (base colour, metalness and roughness, emission,
/// normal and occlusion maps, alpha mode, double-sided); textures found relative to the model file or
/// embedded in it; cameras and lights on their nodes. The file's own normals are kept.
///
/// glTF and GLB have a reader of their own that also brings the material extensions (sheen, clear
/// coat, transmission, volume, index of refraction, specular, emissive strength, unlit), texture
/// transforms, punctual lights in their physical units, material variants (on each geometry, applied
/// through `ModelNode`), quantized, Draco- and meshopt-compressed meshes and WebP textures. Its colour
/// factors stay linear light and their material properties say so (`colorContentsSpace`).
///
/// Loading runs in two phases so that a host's UI never waits on a large file:
/// - `read` does the slow work on any thread: the import, the conversion into geometry, the decoding
///   of every texture and the hit-test preparation of every geometry. It touches no live scene.
/// - `makeScene` (main thread) puts the read data together as nodes, materials, cameras and lights.
/// `sceneWithOptions` runs both on the calling thread.
///
/// Files are untrusted input: a refused or broken file gives an Error, never a crash. Assimp reads
/// them in a helper program (installed beside the library) under memory and time limits, so that
/// whatever it does with a hostile file ends that program, not the host.
class SCNSceneSource {
public:
    /// Domain of the errors this reader makes.
    static constexpr const char* errorDomain = "SCNSceneSource";
    /// Receives (total progress 0…1, status, error, stop flag) as loading goes on; setting the flag
    /// ends the loading with a `cancelled` error. Called on the thread that reads.
    using StatusHandler =
        std::function<void(double totalProgress, SCNSceneSourceStatus status, const OptionalError& error, bool& stop)>;
    /// What `read` produced; owned by the caller until `makeScene` consumes it.
    struct Prepared;

    /// A source for the file at `url`.
    [[nodiscard]] static std::shared_ptr<SCNSceneSource> make(std::filesystem::path url,
                                                              SCNSceneSourceOptions options = {});
    SCNSceneSource(std::filesystem::path url, SCNSceneSourceOptions options);

    /// The file read.
    [[nodiscard]] const std::filesystem::path& url() const noexcept { return url_; }
    /// The options given at creation.
    [[nodiscard]] const SCNSceneSourceOptions& options() const noexcept { return options_; }

    /// Phase one, on any thread: imports, converts and decodes.
    [[nodiscard]] Expected<std::shared_ptr<Prepared>> read(const StatusHandler& statusHandler = {}) const;
    /// Phase two, on the main thread: the scene made of what `read` produced.
    [[nodiscard]] static std::shared_ptr<SCNScene> makeScene(const std::shared_ptr<Prepared>& prepared);
    /// Both phases on the calling thread (which must then be the main thread). `options` replace the
    /// source's own when given. Null with `error` set on failure.
    [[nodiscard]] std::shared_ptr<SCNScene> sceneWithOptions(const std::optional<SCNSceneSourceOptions>& options,
                                                             const StatusHandler& statusHandler,
                                                             OptionalError* error = nullptr) const;

private:
    std::filesystem::path url_;
    SCNSceneSourceOptions options_;
};

}  // namespace vantrel

#pragma GCC visibility pop
