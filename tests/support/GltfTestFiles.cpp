#include "support/GltfTestFiles.hpp"

#include <cstring>
#include <fstream>
#include <random>


#include <unistd.h>

namespace vantrel::test {

ScratchFolder::ScratchFolder(const std::string& name) {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("vantrel-" + name + "-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path ScratchFolder::write(const std::string& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::filesystem::path ScratchFolder::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return write(name, std::string(bytes.begin(), bytes.end()));
}

void appendLittleEndian(std::string& out, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void appendFloat(std::string& out, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    appendLittleEndian(out, bits, 4);
}

std::string base64(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = (static_cast<std::uint8_t>(bytes[i]) << 16) |
                                (static_cast<std::uint8_t>(bytes[i + 1]) << 8) | static_cast<std::uint8_t>(bytes[i + 2]);
        for (int k = 3; k >= 0; --k) out += kAlphabet[(n >> (6 * k)) & 63];
    }
    if (i < bytes.size()) {
        std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string glbOf(const nlohmann::json& document, const std::string& binary) {
    std::string json = document.dump();
    while (json.size() % 4) json += ' ';
    std::string bin = binary;
    while (bin.size() % 4) bin += '\0';
    std::string out = "glTF";
    appendLittleEndian(out, 2, 4);
    appendLittleEndian(out, 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size()), 4);
    appendLittleEndian(out, json.size(), 4);
    out += "JSON";
    out += json;
    if (!bin.empty()) {
        appendLittleEndian(out, bin.size(), 4);
        out += std::string("BIN\0", 4);
        out += bin;
    }
    return out;
}

std::string triangleBuffer() {
    std::string out;
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) appendFloat(out, v);
    for (int i : {0, 1, 2}) appendLittleEndian(out, static_cast<std::uint64_t>(i), 2);
    appendLittleEndian(out, 0, 2);
    return out;
}

nlohmann::json triangleDocument(const std::string& bufferUri) {
    nlohmann::json buffer{{"byteLength", 44}};
    if (!bufferUri.empty()) buffer["uri"] = bufferUri;
    return {
        {"asset", {{"version", "2.0"}}},
        {"scene", 0},
        {"scenes", {{{"nodes", {0}}}}},
        {"nodes", {{{"name", "triangle"}, {"mesh", 0}}}},
        {"meshes", {{{"name", "triangle"}, {"primitives", {{{"attributes", {{"POSITION", 0}}}, {"indices", 1}}}}}}},
        {"accessors",
         {{{"bufferView", 0}, {"componentType", 5126}, {"count", 3}, {"type", "VEC3"},
           {"min", {0, 0, 0}}, {"max", {1, 1, 0}}},
          {{"bufferView", 1}, {"componentType", 5123}, {"count", 3}, {"type", "SCALAR"}}}},
        {"bufferViews",
         {{{"buffer", 0}, {"byteOffset", 0}, {"byteLength", 36}}, {{"buffer", 0}, {"byteOffset", 36}, {"byteLength", 6}}}},
        {"buffers", {buffer}},
    };
}

Expected<std::shared_ptr<SCNSceneSource::Prepared>> readScene(const std::filesystem::path& file,
                                                              const SCNSceneSourceOptions& options,
                                                              const SCNSceneSource::StatusHandler& handler) {
    return SCNSceneSource::make(file, options)->read(handler);
}

}  // namespace vantrel::test
