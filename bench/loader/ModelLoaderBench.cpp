// Model loading, measured against the floor of the same work done without the library, in one run:
//
//  - BM_ColdLoad/<model>: signed URL, download, unpack and import of a catalogue archive into a
//    fresh cache, by `ModelLoaderService::loadModelBy`. Counter floor_ms: the same work done by
//    `curl` (the backend function and the file), `unzip` and a bare Assimp import program (this
//    binary started with --bare-import), all as separate processes; ratio = ours / floor (goal <= 1).
//  - BM_WarmLoad/<model>: the same load once the archive is unpacked. Counter floor_ms: a bare
//    `Assimp::Importer::ReadFile` plus stb decoding of the model's textures, in this process;
//    ratio = ours / floor (goal <= 1.2).
//  - BM_SofaPeakResident: peak resident memory (ru_maxrss) of a process that loads the sofa once
//    (run it alone: the peak is the process's high-water mark); counters peak_mb, grown_mb.
//
// Needs `scripts/backend.sh start`; without it each benchmark reports an error and skips.
// Run from the build directory (the seed tool is found relative to it), in a Release build:
//   cd build/release && bench/vantrel_bench --benchmark_filter='ColdLoad|WarmLoad'
//   cd build/release && bench/vantrel_bench --benchmark_filter=SofaPeakResident   (alone)

#include "support/BenchBackend.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/graph/ImageDecoding.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ModelLoaderService.hpp"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>

namespace {

using nlohmann::json;
using namespace vantrel_bench;
using Clock = std::chrono::steady_clock;

constexpr unsigned kFlags = aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_GenNormals | aiProcess_FlipUVs |
                            aiProcess_ValidateDataStructure;

/// The bare import: Assimp reads the file with the loader's steps, and every texture it names (or
/// embeds) is decoded with the decoders the library uses. Returns the number of decoded textures.
int bareImport(const std::filesystem::path& file) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(file.string(), kFlags);
    if (!scene) return -1;
    int decoded = 0;
    const auto decode = [&decoded](const unsigned char* bytes, int length) {
        if (vantrel::decodeImage(std::span(bytes, static_cast<std::size_t>(length)))) ++decoded;
    };
    std::set<std::string> seen;
    for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
        for (int type = aiTextureType_DIFFUSE; type <= aiTextureType_AMBIENT_OCCLUSION; ++type) {
            for (unsigned i = 0; i < scene->mMaterials[m]->GetTextureCount(static_cast<aiTextureType>(type)); ++i) {
                aiString path;
                scene->mMaterials[m]->GetTexture(static_cast<aiTextureType>(type), i, &path);
                if (!seen.insert(path.C_Str()).second) continue;
                if (const aiTexture* t = scene->GetEmbeddedTexture(path.C_Str()); t && t->mHeight == 0) {
                    decode(reinterpret_cast<const unsigned char*>(t->pcData), static_cast<int>(t->mWidth));
                    continue;
                }
                std::ifstream in(file.parent_path() / path.C_Str(), std::ios::binary);
                std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                decode(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
            }
        }
    }
    return decoded;
}

/// This binary doubles as the bare import program of the cold floor: `vantrel_bench --bare-import <file>`.
[[maybe_unused]] const bool bareImportProgram = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> argv;
    for (std::string arg; std::getline(in, arg, '\0');) argv.push_back(arg);
    if (argv.size() == 3 && argv[1] == "--bare-import") std::_Exit(bareImport(argv[2]) >= 0 ? 0 : 1);
    return false;
}();

/// The catalogue of the run: a company with the sofa and the chair as archives.
struct Catalogue {
    std::string error;
    std::string sessionToken;
    std::map<std::string, std::shared_ptr<vantrel::ComponentEntity>> components;
    std::map<std::string, std::string> archiveKeys;
    std::map<std::string, std::string> modelFiles;  // model file name inside the archive
    Backend backend;
};

json archiveEntry(const std::string& key, const std::string& folder, const std::string& model) {
    const auto directory = std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / folder;
    json entries = json::object();
    json assets = json::array();
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        const auto name = item.path().filename().string();
        if (item.path().extension() == ".md") continue;
        entries[name] = {{"path", "@models/" + folder + "/" + name}};
        if (name != model) assets.push_back(name);
    }
    entries["metadata.json"] = {{"json", {{"model", model}, {"assets", assets}}}};
    return {{"key", key}, {"zip", entries}};
}

Catalogue& catalogue() {
    static Catalogue c = [] {
        Catalogue result;
        auto backend = loadBackend();
        if (!backend) {
            result.error = "no backend: scripts/backend.sh start";
            return result;
        }
        result.backend = *backend;
        const auto tag = "bench-" + std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
        const std::map<std::string, std::pair<std::string, std::string>> models{
            {"sofa", {"GlamVelvetSofa", "GlamVelvetSofa.glb"}}, {"chair", {"SheenChair", "SheenChair.gltf"}}};
        json files = json::array();
        json records = json::array({
            {{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Bench " + tag}}}},
            {{"alias", "catalog"}, {"className", "Catalog"}, {"fields", {{"company", {{"$ref", "company"}}}}}},
            {{"alias", "user"},
             {"className", "_User"},
             {"username", tag + "@bench.invalid"},
             {"password", "bench-pass-1"},
             {"email", tag + "@bench.invalid"},
             {"roles", {"ROLE_COMPANY_EMPLOYEE"}},
             {"login", true},
             {"fields", {{"company", {{"$ref", "company"}}}}}},
        });
        for (const auto& [alias, model] : models) {
            const auto key = tag + "/" + alias + ".zip";
            result.archiveKeys[alias] = key;
            result.modelFiles[alias] = model.second;
            files.push_back(archiveEntry(key, model.first, model.second));
            records.push_back(
                {{"alias", alias},
                 {"className", "Component"},
                 {"fields", {{"catalog", {{"$ref", "catalog"}}}, {"name", alias}, {"scnModelFilePath", key}}}});
        }
        const auto out = runNode({"backend/tools/seed.mjs", "apply", "-"},
                                 json{{"description", tag}, {"files", files}, {"records", records}}.dump());
        if (!out) {
            result.error = "seeding failed";
            return result;
        }
        const auto ids = json::parse(*out);
        configure(*backend);
        vantrel::registerRecordClasses();
        Slot<bool> signedIn;
        vantrel::ParseUser::logInWithUsernameInBackground(tag + "@bench.invalid", "bench-pass-1",
                                                          [&](auto user, auto error) { signedIn.set(user && !error); });
        if (!signedIn.take(std::chrono::seconds(30)).value_or(false)) {
            result.error = "sign-in failed";
            return result;
        }
        result.sessionToken = vantrel::ParseUser::currentUser()->sessionToken().value_or("");
        for (const auto& [alias, unused] : models) {
            Slot<std::shared_ptr<vantrel::ComponentEntity>> read;
            vantrel::ComponentService::sharedInstance().obtainComponentById(ids[alias].get<std::string>(),
                                                                            [&](auto c, auto) { read.set(c); });
            result.components[alias] = read.take(std::chrono::seconds(30)).value_or(nullptr);
        }
        return result;
    }();
    return c;
}

/// One load through the library, pumping the main queue until it is delivered.
bool loadOnce(const std::shared_ptr<vantrel::ComponentEntity>& component) {
    bool done = false, ok = false;
    vantrel::ModelLoaderService::sharedInstance().loadModelBy(component, std::nullopt, [&](auto model, auto error) {
        ok = model && !error;
        done = true;
    });
    vantrel::MainRunLoop::runUntil([&] { return done; }, std::chrono::seconds(300));
    return ok;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

/// The cold floor: separate processes doing the same work, timed by their wall time.
double coldFloorMs(const std::string& alias, const std::filesystem::path& scratch) {
    auto& c = catalogue();
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    const std::string headers = " -H 'X-Parse-Application-Id: " + c.backend.applicationId +
                                "' -H 'X-Parse-Client-Key: " + c.backend.clientKey +
                                "' -H 'X-Parse-Session-Token: " + c.sessionToken + "'";
    const std::string script =
        "set -e; url=$(curl -sS --cacert " + shellQuoted(c.backend.caFile) + headers +
        " -H 'Content-Type: application/json' -d " + shellQuoted(json{{"file_key", c.archiveKeys[alias]}}.dump()) +
        " https://" + c.backend.server +
        "/functions/getSignedUrlToDownloadByKey | sed -e 's/.*\"signedUrl\":\"\\([^\"]*\\)\".*/\\1/');"
        " curl -sS --fail --cacert " +
        shellQuoted(c.backend.caFile) + " -o " + shellQuoted((scratch / "a.zip").string()) +
        " \"$url\";"
        " unzip -q -o " +
        shellQuoted((scratch / "a.zip").string()) + " -d " + shellQuoted((scratch / "x").string()) + ";" +
        shellQuoted(self.string()) + " --bare-import " + shellQuoted((scratch / "x" / c.modelFiles[alias]).string());
    const auto start = Clock::now();
    const int status = std::system(("/bin/sh -c " + shellQuoted(script)).c_str());
    const double ms = millisecondsSince(start);
    return status == 0 ? ms : -1;
}

void BM_ColdLoad(benchmark::State& state, const std::string& alias) {
    auto& c = catalogue();
    if (!c.error.empty() || !c.components[alias])
        return state.SkipWithError(c.error.empty() ? "no component" : c.error.c_str());
    auto& files = vantrel::DownloadingService::sharedInstance();
    const auto root = std::filesystem::temp_directory_path() / ("vantrel-bench-loader-" + std::to_string(::getpid()));
    std::vector<double> ours, floors;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(root / "cache");
        files.setLocalCacheHome(root / "cache");
        floors.push_back(coldFloorMs(alias, root / "floor"));
        state.ResumeTiming();
        const auto start = Clock::now();
        if (!loadOnce(c.components[alias])) return state.SkipWithError("load failed");
        ours.push_back(millisecondsSince(start));
    }
    std::filesystem::remove_all(root);
    state.counters["ours_ms"] = percentile(ours, 50);
    state.counters["floor_ms"] = percentile(floors, 50);
    state.counters["ratio"] = percentile(ours, 50) / percentile(floors, 50);
}

void BM_WarmLoad(benchmark::State& state, const std::string& alias) {
    auto& c = catalogue();
    if (!c.error.empty() || !c.components[alias])
        return state.SkipWithError(c.error.empty() ? "no component" : c.error.c_str());
    auto& files = vantrel::DownloadingService::sharedInstance();
    const auto root = std::filesystem::temp_directory_path() / ("vantrel-bench-warm-" + std::to_string(::getpid()));
    files.setLocalCacheHome(root);
    if (!loadOnce(c.components[alias])) return state.SkipWithError("first load failed");
    const auto model = root / (c.archiveKeys[alias] + ".extracted") / c.modelFiles[alias];
    std::vector<double> ours, floors;
    for (auto _ : state) {
        auto start = Clock::now();
        if (!loadOnce(c.components[alias])) return state.SkipWithError("load failed");
        ours.push_back(millisecondsSince(start));
        state.PauseTiming();
        start = Clock::now();
        benchmark::DoNotOptimize(bareImport(model));
        floors.push_back(millisecondsSince(start));
        state.ResumeTiming();
    }
    std::filesystem::remove_all(root);
    state.counters["ours_ms"] = percentile(ours, 50);
    state.counters["floor_ms"] = percentile(floors, 50);
    state.counters["ratio"] = percentile(ours, 50) / percentile(floors, 50);
}

void BM_SofaPeakResident(benchmark::State& state) {
    auto& c = catalogue();
    if (!c.error.empty() || !c.components["sofa"])
        return state.SkipWithError(c.error.empty() ? "no component" : c.error.c_str());
    const auto root = std::filesystem::temp_directory_path() / ("vantrel-bench-rss-" + std::to_string(::getpid()));
    vantrel::DownloadingService::sharedInstance().setLocalCacheHome(root);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    for (auto _ : state) {
        if (!loadOnce(c.components["sofa"])) return state.SkipWithError("load failed");
    }
    getrusage(RUSAGE_SELF, &after);
    std::filesystem::remove_all(root);
    state.counters["peak_mb"] = static_cast<double>(after.ru_maxrss) / 1024.0;
    state.counters["grown_mb"] = static_cast<double>(after.ru_maxrss - before.ru_maxrss) / 1024.0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_ColdLoad, sofa, std::string("sofa"))->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ColdLoad, chair, std::string("chair"))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_WarmLoad, sofa, std::string("sofa"))->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_WarmLoad, chair, std::string("chair"))
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SofaPeakResident)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
