#include "graph/import/GltfDocument.hpp"

#include "graph/import/TextureReading.hpp"

#include "vantrel/core/Log.hpp"

#include <meshoptimizer.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

namespace vantrel::detail {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kGlbMagic = 0x46546C67;      // "glTF"
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;     // "JSON"
constexpr std::uint32_t kBinaryChunk = 0x004E4942;   // "BIN\0"
constexpr std::size_t kGlbHeaderBytes = 12;
constexpr std::size_t kChunkHeaderBytes = 8;

// What this reader understands; a file that requires anything else is refused.
const std::set<std::string, std::less<>> kSupportedExtensions{
    "KHR_materials_sheen",        "KHR_materials_clearcoat",    "KHR_materials_transmission",
    "KHR_materials_volume",       "KHR_materials_ior",          "KHR_materials_specular",
    "KHR_materials_emissive_strength", "KHR_materials_unlit",   "KHR_materials_variants",
    "KHR_texture_transform",      "KHR_lights_punctual",        "KHR_mesh_quantization",
    "KHR_draco_mesh_compression", "EXT_meshopt_compression",    "EXT_texture_webp",
};

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
           (std::uint32_t{bytes[3]} << 24);
}

/// The first `count` bytes of `file`; fails when the file is shorter.
std::vector<std::uint8_t> readPrefix(const fs::path& file, std::uint64_t count) {
    std::ifstream in(file, std::ios::binary);
    if (!in) failGltf(SCNSceneSourceError::unreadableFile, "Unable to read '" + file.string() + "'");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    if (static_cast<std::uint64_t>(in.gcount()) != count)
        failGltf(SCNSceneSourceError::unreadableFile, "Unable to read '" + file.string() + "'");
    return bytes;
}

std::uint64_t sizeOf(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) failGltf(SCNSceneSourceError::unreadableFile, "Unable to read '" + file.string() + "'");
    return size;
}

nlohmann::json parseJson(const std::uint8_t* text, std::size_t size) {
    auto parsed = nlohmann::json::parse(text, text + size, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) invalidGltf("The glTF JSON does not parse");
    return parsed;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    return -1;
}

/// Decodes meshopt-compressed bytes into `out` (count × stride bytes, already sized).
void decodeMeshopt(const nlohmann::json& extension, std::span<const std::uint8_t> source, std::size_t count,
                   std::size_t stride, std::vector<std::uint8_t>& out) {
    const auto mode = stringOr(extension, "mode");
    const auto filter = stringOr(extension, "filter");
    int result = -1;
    if (mode == "ATTRIBUTES") {
        if (stride % 4 != 0 || stride > 256) invalidGltf("A meshopt view has a bad stride");
        result = meshopt_decodeVertexBuffer(out.data(), count, stride, source.data(), source.size());
    } else if (mode == "TRIANGLES") {
        if ((stride != 2 && stride != 4) || count % 3 != 0) invalidGltf("A meshopt index view is malformed");
        result = meshopt_decodeIndexBuffer(out.data(), count, stride, source.data(), source.size());
    } else if (mode == "INDICES") {
        if (stride != 2 && stride != 4) invalidGltf("A meshopt index view is malformed");
        result = meshopt_decodeIndexSequence(out.data(), count, stride, source.data(), source.size());
    } else {
        invalidGltf("A meshopt view has an unknown mode");
    }
    if (result != 0) invalidGltf("A meshopt view does not decode");
    if (filter.empty() || filter == "NONE") return;
    if (mode != "ATTRIBUTES") invalidGltf("A meshopt filter on indices");
    if (filter == "OCTAHEDRAL" && (stride == 4 || stride == 8)) {
        meshopt_decodeFilterOct(out.data(), count, stride);
    } else if (filter == "QUATERNION" && stride == 8) {
        meshopt_decodeFilterQuat(out.data(), count, stride);
    } else if (filter == "EXPONENTIAL" && stride % 4 == 0) {
        meshopt_decodeFilterExp(out.data(), count, stride);
    } else {
        invalidGltf("A meshopt view has an unknown filter");
    }
}

}  // namespace

bool isBelowDirectory(const fs::path& path, const fs::path& root) {
    const auto relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != ".." && !relative.is_absolute();
}

GltfDocument::GltfDocument(const fs::path& file, const SCNSceneSourceOptions& options, GltfProgress& progress)
    : options_(options), progress_(progress) {
    std::error_code ec;
    directory_ = fs::weakly_canonical(fs::absolute(file, ec).parent_path(), ec);
    assetRoot_ = options.assetRootDirectory.empty() ? directory_ : fs::weakly_canonical(options.assetRootDirectory, ec);

    const std::uint64_t size = sizeOf(file);
    const auto header = readPrefix(file, std::min<std::uint64_t>(size, kGlbHeaderBytes));
    isGlb_ = header.size() >= 4 && littleEndian32(header.data()) == kGlbMagic;
    if (!isGlb_) {
        if (size > options.maxJsonBytes) failGltf(SCNSceneSourceError::limitExceeded, "The glTF JSON is too large");
        const auto text = readPrefix(file, size);
        json_ = parseJson(text.data(), text.size());
    } else {
        // Every length is checked against the file's size before anything is read or allocated.
        if (size < kGlbHeaderBytes + kChunkHeaderBytes) invalidGltf("The GLB file is cut short");
        const std::uint32_t version = littleEndian32(header.data() + 4);
        const std::uint64_t declared = littleEndian32(header.data() + 8);
        if (version != 2) invalidGltf("The GLB file is not version 2");
        if (declared > size || declared < kGlbHeaderBytes + kChunkHeaderBytes) invalidGltf("The GLB file is cut short");
        const auto chunk = readPrefix(file, kGlbHeaderBytes + kChunkHeaderBytes);
        const std::uint64_t jsonLength = littleEndian32(chunk.data() + 12);
        if (littleEndian32(chunk.data() + 16) != kJsonChunk) invalidGltf("The GLB file does not start with JSON");
        if (jsonLength > declared - kGlbHeaderBytes - kChunkHeaderBytes)
            invalidGltf("The GLB's JSON chunk runs past the end of the file");
        if (jsonLength > options.maxJsonBytes) failGltf(SCNSceneSourceError::limitExceeded, "The glTF JSON is too large");
        const std::uint64_t jsonEnd = kGlbHeaderBytes + kChunkHeaderBytes + ((jsonLength + 3) & ~std::uint64_t{3});
        std::uint64_t binaryLength = 0;
        if (jsonEnd + kChunkHeaderBytes <= declared) {
            const auto withChunk = readPrefix(file, jsonEnd + kChunkHeaderBytes);
            binaryLength = littleEndian32(withChunk.data() + jsonEnd);
            if (littleEndian32(withChunk.data() + jsonEnd + 4) != kBinaryChunk) binaryLength = 0;
            if (binaryLength > declared - jsonEnd - kChunkHeaderBytes)
                invalidGltf("The GLB's binary chunk runs past the end of the file");
        }
        takeBytes(binaryLength, "the GLB's binary chunk");
        auto bytes = readPrefix(file, binaryLength ? jsonEnd + kChunkHeaderBytes + binaryLength : jsonEnd);
        json_ = parseJson(bytes.data() + kGlbHeaderBytes + kChunkHeaderBytes, static_cast<std::size_t>(jsonLength));
        if (binaryLength) {
            glbBinary_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(jsonEnd + kChunkHeaderBytes), bytes.end());
        }
    }

    const auto* asset = objectMember(json_, "asset");
    if (!asset || stringOr(*asset, "version").rfind("2", 0) != 0) invalidGltf("The file is not glTF 2");
    for (const auto& required : topLevelArray(json_, "extensionsRequired")) {
        if (!required.is_string() || !kSupportedExtensions.contains(required.get<std::string>())) {
            failGltf(SCNSceneSourceError::unsupportedExtension,
                     "The file requires the extension '" + (required.is_string() ? required.get<std::string>() : "?") +
                         "', which this reader does not support");
        }
    }
}

bool GltfDocument::uses(const std::string& extension) const {
    for (const auto& used : topLevelArray(json_, "extensionsUsed"))
        if (used.is_string() && used.get<std::string>() == extension) return true;
    return false;
}

void GltfDocument::takeBytes(std::uint64_t bytes, const char* what) {
    if (bytes > options_.maxBufferBytes || bytesTaken_ > options_.maxBufferBytes - bytes)
        failGltf(SCNSceneSourceError::limitExceeded, std::string("The model's binary data is too large (") + what + ")");
    bytesTaken_ += bytes;
}

std::vector<std::uint8_t> GltfDocument::decodeDataUri(const std::string& uri) {
    const auto comma = uri.find(',');
    if (comma == std::string::npos || comma < 7 || uri.compare(comma - 7, 7, ";base64") != 0)
        invalidGltf("A data URI is not base64");
    const std::size_t encoded = uri.size() - comma - 1;
    const std::uint64_t decodedBound = encoded / 4 * 3 + 3;
    if (decodedBound > options_.maxDataUriBytes + 3)
        failGltf(SCNSceneSourceError::limitExceeded, "An embedded data URI is too large");
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(decodedBound));
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (std::size_t i = comma + 1; i < uri.size(); ++i) {
        const char c = uri[i];
        if (c == '=') break;
        const int value = base64Value(c);
        if (value < 0) invalidGltf("A data URI holds a character that is not base64");
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
        }
        if ((i & 0xFFFF) == 0) progress_.poll(0x10000);
    }
    return out;
}

std::vector<std::uint8_t> GltfDocument::readConfined(const std::string& uri, std::uint64_t expected, bool isBuffer) {
    const fs::path relative(percentDecoded(uri));
    const bool schemed = uri.find("://") != std::string::npos;
    if (relative.is_absolute() || relative.has_root_name() || schemed) {
        if (isBuffer)
            failGltf(SCNSceneSourceError::forbiddenPath, "A buffer names a file outside the model's folder: " + uri);
        return {};
    }
    std::vector<fs::path> directories{directory_};
    if (!isBuffer && options_.overrideAssetURLs && !options_.assetDirectoryURLs.empty())
        directories = options_.assetDirectoryURLs;
    for (const auto& directory : directories) {
        std::error_code ec;
        const auto candidate = fs::weakly_canonical(directory / relative, ec);
        if (ec) continue;
        // Buffers come from the model's own folder; images from the asset root, as they always did.
        const bool allowed = isBuffer ? isBelowDirectory(candidate, directory_) && isBelowDirectory(candidate, assetRoot_)
                                      : isBelowDirectory(candidate, assetRoot_);
        if (!allowed) {
            if (isBuffer)
                failGltf(SCNSceneSourceError::forbiddenPath, "A buffer names a file outside the model's folder: " + uri);
            VLOG_WARNING("Refused texture '" + uri + "' outside the model's folder");
            return {};
        }
        if (!fs::is_regular_file(candidate, ec)) continue;
        const std::uint64_t size = sizeOf(candidate);
        if (isBuffer) {
            if (size < expected) invalidGltf("A buffer's file is shorter than the buffer: " + uri);
            takeBytes(expected, "a buffer");
            return readPrefix(candidate, expected);
        }
        takeBytes(size, "an image");
        return readPrefix(candidate, size);
    }
    if (isBuffer) failGltf(SCNSceneSourceError::unreadableFile, "A buffer's file is missing: " + uri);
    return {};
}

std::span<const std::uint8_t> GltfDocument::buffer(std::size_t index) {
    if (auto found = buffers_.find(index); found != buffers_.end()) return found->second;
    const auto& buffers = topLevelArray(json_, "buffers");
    if (index >= buffers.size()) invalidGltf("A view names a buffer that is not there");
    const auto& buffer = buffers[index];
    const std::uint64_t length = unsignedOr(buffer, "byteLength", 0);
    const auto* uri = member(buffer, "uri");
    if (!uri) {
        if (isGlb_ && index == 0) {
            if (length > glbBinary_.size()) invalidGltf("The GLB's buffer is longer than its binary chunk");
            return std::span<const std::uint8_t>(glbBinary_).first(static_cast<std::size_t>(length));
        }
        // A buffer without data stands in for compressed views (meshopt's fallback); it has no bytes.
        return {};
    }
    if (!uri->is_string()) invalidGltf("A buffer's uri is not a string");
    const auto text = uri->get<std::string>();
    std::vector<std::uint8_t> bytes;
    if (text.rfind("data:", 0) == 0) {
        bytes = decodeDataUri(text);
        takeBytes(bytes.size(), "an embedded buffer");
        if (bytes.size() < length) invalidGltf("An embedded buffer is shorter than it says");
        bytes.resize(static_cast<std::size_t>(length));
    } else {
        bytes = readConfined(text, length, true);
    }
    return buffers_.emplace(index, std::move(bytes)).first->second;
}

std::size_t GltfDocument::bufferViewStride(std::size_t index) {
    const auto& views = topLevelArray(json_, "bufferViews");
    if (index >= views.size()) invalidGltf("An accessor names a buffer view that is not there");
    const auto stride = unsignedOr(views[index], "byteStride", 0);
    if (stride != 0 && (stride < 4 || stride > 252 || stride % 4 != 0)) invalidGltf("A buffer view has a bad stride");
    return static_cast<std::size_t>(stride);
}

std::span<const std::uint8_t> GltfDocument::bufferView(std::size_t index) {
    if (auto found = decodedViews_.find(index); found != decodedViews_.end()) return found->second;
    const auto& views = topLevelArray(json_, "bufferViews");
    if (index >= views.size()) invalidGltf("An accessor names a buffer view that is not there");
    const auto& view = views[index];
    const std::uint64_t length = unsignedOr(view, "byteLength", 0);
    if (const auto* extensions = objectMember(view, "extensions")) {
        if (const auto* meshopt = objectMember(*extensions, "EXT_meshopt_compression")) {
            const auto source = buffer(requiredIndex(*meshopt, "buffer", topLevelArray(json_, "buffers").size()));
            const std::uint64_t offset = unsignedOr(*meshopt, "byteOffset", 0);
            const std::uint64_t compressed = unsignedOr(*meshopt, "byteLength", 0);
            const std::uint64_t stride = unsignedOr(*meshopt, "byteStride", 0);
            const std::uint64_t count = unsignedOr(*meshopt, "count", 0);
            if (offset > source.size() || compressed > source.size() - offset)
                invalidGltf("A compressed view runs past its buffer");
            if (stride == 0 || stride > 256 || count > options_.maxBufferBytes / stride)
                failGltf(SCNSceneSourceError::limitExceeded, "A compressed view is too large");
            if (count * stride < length) invalidGltf("A compressed view is shorter than its view");
            takeBytes(count * stride, "a decompressed view");
            std::vector<std::uint8_t> out(static_cast<std::size_t>(count * stride));
            decodeMeshopt(*meshopt, source.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(compressed)),
                          static_cast<std::size_t>(count), static_cast<std::size_t>(stride), out);
            out.resize(static_cast<std::size_t>(length));
            return decodedViews_.emplace(index, std::move(out)).first->second;
        }
    }
    const auto bytes = buffer(requiredIndex(view, "buffer", topLevelArray(json_, "buffers").size()));
    const std::uint64_t offset = unsignedOr(view, "byteOffset", 0);
    if (offset > bytes.size() || length > bytes.size() - offset) invalidGltf("A buffer view runs past its buffer");
    return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

std::vector<std::uint8_t> GltfDocument::imageBytes(std::size_t index) {
    const auto& images = topLevelArray(json_, "images");
    if (index >= images.size()) invalidGltf("A texture names an image that is not there");
    const auto& image = images[index];
    if (const auto view = indexOf(image, "bufferView", topLevelArray(json_, "bufferViews").size())) {
        const auto bytes = bufferView(*view);
        return {bytes.begin(), bytes.end()};
    }
    const auto uri = stringOr(image, "uri");
    if (uri.empty()) return {};
    if (uri.rfind("data:", 0) == 0) return decodeDataUri(uri);
    return readConfined(uri, 0, false);
}

}  // namespace vantrel::detail
