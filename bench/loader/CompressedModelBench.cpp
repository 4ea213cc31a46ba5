// What reading a compressed model costs against reading the same model plain:
//
//  - BM_CompressedSofa/<kind>: the sofa's Draco or meshopt file (tests/data/models, made by its
//    make.sh from the shared sofa with its textures removed) and, in the same iteration, the shared
//    sofa with its textures taken out the same way (written once, at the start), each read by
//    `SCNSceneSource::read`. Time: the compressed read. Counters: compressed_ms, plain_ms,
//    ratio = compressed / plain, file sizes in KiB.
//
//   cd build/release && bench/vantrel_bench --benchmark_filter=CompressedSofa

#include "vantrel/graph/SCNSceneSource.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Clock = std::chrono::steady_clock;

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t word(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// Drops every texture reference from a material tree, as make.sh does.
void stripTextures(nlohmann::json& value) {
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end();) {
            if (it.key().ends_with("Texture")) {
                it = value.erase(it);
            } else {
                stripTextures(*it++);
            }
        }
    } else if (value.is_array()) {
        for (auto& item : value) stripTextures(item);
    }
}

/// The shared sofa without its textures, as a .gltf beside its binary chunk (written once); empty
/// when the GLB cannot be read.
std::filesystem::path plainSofa() {
    static const std::filesystem::path written = []() -> std::filesystem::path {
        const auto glb = readAll(std::filesystem::path(VANTREL_BENCH_MODELS_DIR) / "GlamVelvetSofa/GlamVelvetSofa.glb");
        if (glb.size() < 28 || glb.compare(0, 4, "glTF") != 0) return {};
        const std::uint32_t jsonLength = word(glb, 12);
        const std::size_t binAt = 20 + ((jsonLength + 3u) & ~3u);
        if (binAt + 8 > glb.size()) return {};
        auto doc = nlohmann::json::parse(glb.substr(20, jsonLength));
        for (const char* key : {"images", "textures", "samplers"}) doc.erase(key);
        stripTextures(doc["materials"]);
        for (const char* key : {"extensionsUsed", "extensionsRequired"}) {
            if (!doc.contains(key)) continue;
            auto& list = doc[key];
            list.erase(std::remove(list.begin(), list.end(), "KHR_texture_transform"), list.end());
            if (list.empty()) doc.erase(key);
        }
        const std::string binary = glb.substr(binAt + 8, word(glb, binAt));
        const auto directory =
            std::filesystem::temp_directory_path() / ("vantrel-bench-plain-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory);
        doc["buffers"] = nlohmann::json::array({{{"byteLength", binary.size()}, {"uri", "sofa.bin"}}});
        std::ofstream(directory / "sofa.bin", std::ios::binary) << binary;
        std::ofstream(directory / "sofa.gltf") << doc.dump();
        return directory / "sofa.gltf";
    }();
    return written;
}

void BM_CompressedSofa(benchmark::State& state, const std::string& file) {
    const auto plainFile = plainSofa();
    if (plainFile.empty()) return state.SkipWithError("the shared sofa could not be read");
    const auto compressedFile = std::filesystem::path(VANTREL_BENCH_TEST_MODELS_DIR) / file;
    const vantrel::SCNSceneSource compressed(compressedFile, {});
    const vantrel::SCNSceneSource plain(plainFile, {});
    double compressedSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto packed = compressed.read();
        const auto between = Clock::now();
        const auto unpacked = plain.read();
        const auto end = Clock::now();
        if (!packed || !unpacked)
            return state.SkipWithError(packed ? unpacked.error().message.c_str() : packed.error().message.c_str());
        const double seconds = std::chrono::duration<double>(between - start).count();
        compressedSeconds += seconds;
        plainSeconds += std::chrono::duration<double>(end - between).count();
        state.SetIterationTime(seconds);
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["compressed_ms"] = 1000.0 * compressedSeconds / runs;
    state.counters["plain_ms"] = 1000.0 * plainSeconds / runs;
    state.counters["ratio"] = plainSeconds > 0 ? compressedSeconds / plainSeconds : 0.0;
    state.counters["compressed_KiB"] = static_cast<double>(std::filesystem::file_size(compressedFile)) / 1024.0;
    state.counters["plain_KiB"] = static_cast<double>(std::filesystem::file_size(plainFile) +
                                                      std::filesystem::file_size(plainFile.parent_path() / "sofa.bin")) /
                                  1024.0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_CompressedSofa, draco, std::string("GlamVelvetSofa-draco.glb"))
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CompressedSofa, meshopt, std::string("GlamVelvetSofa-meshopt.glb"))
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
