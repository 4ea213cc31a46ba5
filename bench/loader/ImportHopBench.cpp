// What reading a file in the import helper's process costs against the same read in this process:
//
//  - BM_ObjImportHop/<model>: the shared model written as OBJ (once, into a scratch folder), read
//    by `SCNSceneSource::read` — the helper started with its limits, its answer taken over the
//    pipe — and, in the same iteration, by the same Assimp work run here with its answer handed over
//    in memory. Time: the helper's read. Counters: helper_ms, in_process_ms, ratio = helper /
//    in-process, both including the library's checks, texture decoding and hit-test preparation.
//
//   cd build/release && bench/vantrel_bench --benchmark_filter=ObjImportHop

#include "graph/import/ImportProcess.hpp"
#include "graph/import/SceneReading.hpp"
#include "graph/import/helper/AssimpImport.hpp"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

/// Writes `scene`'s meshes, placed by their nodes, as OBJ text: positions, normals, texture
/// coordinates and triangles, one object per mesh.
void writeObj(const aiScene& scene, const std::filesystem::path& target) {
    std::ofstream out(target);
    std::size_t base = 1;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
        const aiMesh& mesh = *scene.mMeshes[m];
        out << "o " << (mesh.mName.length ? mesh.mName.C_Str() : "mesh") << m << "\n";
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            out << "v " << mesh.mVertices[v].x << ' ' << mesh.mVertices[v].y << ' ' << mesh.mVertices[v].z << "\n";
            if (mesh.HasNormals())
                out << "vn " << mesh.mNormals[v].x << ' ' << mesh.mNormals[v].y << ' ' << mesh.mNormals[v].z << "\n";
            if (mesh.HasTextureCoords(0))
                out << "vt " << mesh.mTextureCoords[0][v].x << ' ' << mesh.mTextureCoords[0][v].y << "\n";
        }
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            if (mesh.mFaces[f].mNumIndices != 3) continue;
            out << 'f';
            for (int k = 0; k < 3; ++k) {
                const std::size_t i = base + mesh.mFaces[f].mIndices[k];
                out << ' ' << i << '/' << (mesh.HasTextureCoords(0) ? std::to_string(i) : "") << '/'
                    << (mesh.HasNormals() ? std::to_string(i) : "");
            }
            out << "\n";
        }
        base += mesh.mNumVertices;
    }
}

/// The run's scratch folder, removed at exit.
struct Scratch {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vantrel-bench-obj-" + std::to_string(::getpid()));
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

/// The shared model written as OBJ (once per run, into the scratch folder); empty when it cannot be.
std::filesystem::path objOf(const std::string& folder, const std::string& file) {
    static Scratch scratch;
    static std::map<std::string, std::filesystem::path> written;
    if (auto it = written.find(folder); it != written.end()) return it->second;
    const auto source = std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / folder / file;
    const auto directory = scratch.path / folder;
    std::filesystem::create_directories(directory);
    const auto target = directory / (folder + ".obj");
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(source.string(), aiProcess_Triangulate | aiProcess_PreTransformVertices);
    if (scene) writeObj(*scene, target);
    return written[folder] = scene ? target : std::filesystem::path();
}

/// The helper's work done in this process: its answer is collected in memory and read back.
std::optional<vantrel::Error> inProcess(const vantrel::detail::ImportRequest& request,
                                        const std::function<std::optional<vantrel::Error>(
                                            const vantrel::detail::ImportFrame&)>& onFrame,
                                        const std::function<bool()>&) {
    std::string answer = vantrel::detail::wire::header();
    vantrel::detail::importWithAssimp({request.file, request.format, request.unitScale},
                                      [&answer](std::string_view frame) { answer.append(frame); });
    return vantrel::detail::readImportAnswer(
        std::span(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size()), request.limits.answerBytes,
        onFrame);
}

void BM_ObjImportHop(benchmark::State& state, const std::string& folder, const std::string& file) {
    const auto obj = objOf(folder, file);
    if (obj.empty()) return state.SkipWithError("the model could not be written as OBJ");
    const vantrel::SCNSceneSource source(obj, {});
    double helper = 0, local = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto hop = source.read();
        const auto between = Clock::now();
        const auto here = vantrel::detail::readScene(source, {}, inProcess);
        const auto end = Clock::now();
        if (!hop || !here) return state.SkipWithError(hop ? here.error().message.c_str() : hop.error().message.c_str());
        const double hopSeconds = std::chrono::duration<double>(between - start).count();
        helper += hopSeconds;
        local += std::chrono::duration<double>(end - between).count();
        state.SetIterationTime(hopSeconds);
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["helper_ms"] = 1000.0 * helper / runs;
    state.counters["in_process_ms"] = 1000.0 * local / runs;
    state.counters["ratio"] = local > 0 ? helper / local : 0.0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_ObjImportHop, sofa, std::string("GlamVelvetSofa"), std::string("GlamVelvetSofa.glb"))
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ObjImportHop, box, std::string("Box"), std::string("Box.glb"))
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
