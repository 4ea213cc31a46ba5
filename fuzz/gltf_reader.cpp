// libFuzzer target over the glTF reader: every input is written as a GLB (or, when it starts with
// '{', a .gltf) beside a small buffer file and read with tight budgets. Any crash, leak, sanitizer
// report or exception escaping `read` is a finding; errors are the expected outcome. Run it alone:
//
//   bash fuzz/run.sh 60 gltf_reader

#include "vantrel/graph/SCNSceneSource.hpp"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        auto made = std::filesystem::temp_directory_path() / ("vantrel-fuzz-gltf-" + std::to_string(::getpid()));
        std::filesystem::create_directories(made);
        std::ofstream(made / "buffer.bin", std::ios::binary) << std::string(256, '\x01');
        return made;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool json = size > 0 && data[0] == '{';
    const auto file = folder() / (json ? "model.gltf" : "model.glb");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vantrel::SCNSceneSourceOptions options;
    options.maxTriangles = 100'000;
    options.maxVertices = 100'000;
    options.maxBufferBytes = 16 << 20;
    options.maxTextureBytes = 16 << 20;
    options.maxDataUriBytes = 1 << 20;
    (void)vantrel::SCNSceneSource::make(file, options)->read();
    return 0;
}
