#include "graph/import/GltfTextures.hpp"

#include "vantrel/core/Log.hpp"
#include "vantrel/graph/ImageDecoding.hpp"

#include <glm/gtc/matrix_transform.hpp>
#include <webp/decode.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace vantrel::detail {

namespace {

std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

std::optional<std::pair<int, int>> jpegSize(std::span<const std::uint8_t> bytes) {
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const std::size_t length = bigEndian(bytes.data() + at + 2, 2);
        const bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 9 > bytes.size()) return std::nullopt;
            return std::pair<int, int>(static_cast<int>(bigEndian(bytes.data() + at + 7, 2)),
                                       static_cast<int>(bigEndian(bytes.data() + at + 5, 2)));
        }
        if (length < 2) return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

bool isWebp(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 12 && std::equal(bytes.begin(), bytes.begin() + 4, "RIFF") &&
           std::equal(bytes.begin() + 8, bytes.begin() + 12, "WEBP");
}

// The decoder of the image library reads PNG and JPEG; WebP images (EXT_texture_webp) go to libwebp
// here, after the same size check.
std::shared_ptr<UIImage> decodeWebp(std::span<const std::uint8_t> bytes) {
    int width = 0;
    int height = 0;
    if (!WebPGetInfo(bytes.data(), bytes.size(), &width, &height)) return nullptr;
    if (width <= 0 || height <= 0 || width > UIImage::kMaxDimension || height > UIImage::kMaxDimension ||
        std::int64_t{width} * height > UIImage::kMaxPixelCount)
        return nullptr;
    std::unique_ptr<std::uint8_t, void (*)(void*)> pixels(WebPDecodeRGBA(bytes.data(), bytes.size(), &width, &height),
                                                          WebPFree);
    if (!pixels) return nullptr;
    const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    return std::make_shared<UIImage>(width, height, std::vector<std::uint8_t>(pixels.get(), pixels.get() + size));
}

/// `image` halved `halvings` times, each output pixel the mean of the pixels it covers.
std::shared_ptr<UIImage> downscaled(const UIImage& image, int halvings) {
    const int factor = 1 << halvings;
    const int width = std::max(1, (image.width() + factor - 1) / factor);
    const int height = std::max(1, (image.height() + factor - 1) / factor);
    const auto& source = image.rgba();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t sum[4] = {0, 0, 0, 0};
            std::uint32_t count = 0;
            for (int sy = y * factor; sy < std::min(image.height(), (y + 1) * factor); ++sy) {
                for (int sx = x * factor; sx < std::min(image.width(), (x + 1) * factor); ++sx) {
                    const auto* p = source.data() + (static_cast<std::size_t>(sy) * image.width() + sx) * 4;
                    for (int c = 0; c < 4; ++c) sum[c] += p[c];
                    ++count;
                }
            }
            auto* q = out.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            for (int c = 0; c < 4; ++c) q[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / std::max(count, 1u));
        }
    }
    return std::make_shared<UIImage>(width, height, std::move(out));
}

std::uint64_t bytesAfter(std::pair<int, int> size, int halvings) {
    const std::uint64_t factor = std::uint64_t{1} << halvings;
    const std::uint64_t width = std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(size.first) + factor - 1) / factor);
    const std::uint64_t height = std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(size.second) + factor - 1) / factor);
    return width * height * 4;
}

/// Texture indices named anywhere in a material (its own texture infos and its extensions').
void collectTextures(const nlohmann::json& material, std::set<std::size_t>& out) {
    std::vector<const nlohmann::json*> pending{&material};
    while (!pending.empty()) {  // materials are shallow, but the walk need not trust that
        const auto* value = pending.back();
        pending.pop_back();
        if (!value->is_object()) continue;
        for (auto it = value->begin(); it != value->end(); ++it) {
            if (!it->is_object()) continue;
            const auto& key = it.key();
            if (key.size() > 7 && key.compare(key.size() - 7, 7, "Texture") == 0) {
                if (const auto* index = member(*it, "index"); index && index->is_number_unsigned())
                    out.insert(index->get<std::size_t>());
            }
            pending.push_back(&*it);
        }
    }
}

SCNWrapMode wrapOf(std::uint64_t mode) {
    switch (mode) {
        case 33071: return SCNWrapMode::clamp;
        case 33648: return SCNWrapMode::mirror;
        default: return SCNWrapMode::repeat;
    }
}

}  // namespace

std::optional<std::pair<int, int>> gltfImageHeaderSize(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 24 && std::equal(kPng, kPng + 8, bytes.begin()) &&
        std::equal(bytes.begin() + 12, bytes.begin() + 16, "IHDR")) {
        const auto width = bigEndian(bytes.data() + 16, 4);
        const auto height = bigEndian(bytes.data() + 20, 4);
        if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return std::nullopt;
        return std::pair<int, int>(static_cast<int>(width), static_cast<int>(height));
    }
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return jpegSize(bytes);
    if (isWebp(bytes)) {
        int width = 0;
        int height = 0;
        if (WebPGetInfo(bytes.data(), bytes.size(), &width, &height)) return std::pair<int, int>(width, height);
    }
    return std::nullopt;
}

std::optional<std::size_t> GltfTextures::imageOf(std::size_t texture) const {
    const auto& textures = topLevelArray(document_.json(), "textures");
    if (texture >= textures.size()) invalidGltf("A material names a texture that is not there");
    const auto imageCount = topLevelArray(document_.json(), "images").size();
    if (const auto* extensions = objectMember(textures[texture], "extensions")) {
        if (const auto* webp = objectMember(*extensions, "EXT_texture_webp"))
            if (const auto source = indexOf(*webp, "source", imageCount)) return source;
    }
    return indexOf(textures[texture], "source", imageCount);
}

void GltfTextures::decodeUsed(double from, double to) {
    std::set<std::size_t> textures;
    for (const auto& material : topLevelArray(document_.json(), "materials")) collectTextures(material, textures);
    std::set<std::size_t> used;
    for (auto texture : textures)
        if (auto image = imageOf(texture)) used.insert(*image);

    // The sizes of the whole set first, from the headers alone: the largest images are halved until
    // the set fits the budget, so that no image is decoded only to find there is no room for it.
    struct Planned {
        std::size_t image;
        std::vector<std::uint8_t> bytes;
        std::pair<int, int> size;
        int halvings = 0;
    };
    std::vector<Planned> planned;
    for (auto image : used) {
        auto bytes = document_.imageBytes(image);
        const auto size = gltfImageHeaderSize(bytes);
        if (!size || size->first > UIImage::kMaxDimension || size->second > UIImage::kMaxDimension ||
            std::int64_t{size->first} * size->second > UIImage::kMaxPixelCount) {
            VLOG_WARNING("Unable to read image " + std::to_string(image) + " of the model");
            images_.emplace(image, nullptr);
            continue;
        }
        planned.push_back({image, std::move(bytes), *size});
    }
    const auto total = [&] {
        std::uint64_t sum = 0;
        for (const auto& p : planned) sum += bytesAfter(p.size, p.halvings);
        return sum;
    };
    const std::uint64_t budget = document_.options().maxTextureBytes;
    for (std::uint64_t sum = total(); sum > budget;) {
        auto largest = std::max_element(planned.begin(), planned.end(), [](const Planned& a, const Planned& b) {
            return bytesAfter(a.size, a.halvings) < bytesAfter(b.size, b.halvings);
        });
        if (largest == planned.end() || bytesAfter(largest->size, largest->halvings) <= 4) break;
        sum -= bytesAfter(largest->size, largest->halvings);
        ++largest->halvings;
        sum += bytesAfter(largest->size, largest->halvings);
    }

    auto& progress = document_.progress();
    for (std::size_t i = 0; i < planned.size(); ++i) {
        auto& p = planned[i];
        progress.report(from + (to - from) * static_cast<double>(i) / planned.size(), SCNSceneSourceStatus::processing);
        std::shared_ptr<UIImage> image;
        if (isWebp(p.bytes)) {
            image = decodeWebp(p.bytes);
        } else if (auto decoded = decodeImage(p.bytes)) {
            image = std::move(decoded->image);
        }
        std::vector<std::uint8_t>().swap(p.bytes);
        if (image && p.halvings > 0) image = downscaled(*image, p.halvings);
        if (!image) VLOG_WARNING("Unable to decode image " + std::to_string(p.image) + " of the model");
        images_.emplace(p.image, std::move(image));
    }
}

std::optional<ImportedTexture> GltfTextures::texture(const nlohmann::json* info) const {
    if (!info || !info->is_object()) return std::nullopt;
    const auto index = indexOf(*info, "index", topLevelArray(document_.json(), "textures").size());
    if (!index) return std::nullopt;
    const auto image = imageOf(*index);
    if (!image) return std::nullopt;
    const auto found = images_.find(*image);
    if (found == images_.end() || !found->second) return std::nullopt;

    ImportedTexture result;
    result.image = found->second;
    result.channel = static_cast<int>(std::min<std::uint64_t>(unsignedOr(*info, "texCoord", 0), 7));
    const auto& texture = topLevelArray(document_.json(), "textures")[*index];
    if (const auto sampler = indexOf(texture, "sampler", topLevelArray(document_.json(), "samplers").size())) {
        const auto& s = topLevelArray(document_.json(), "samplers")[*sampler];
        result.wrapS = wrapOf(unsignedOr(s, "wrapS", 10497));
        result.wrapT = wrapOf(unsignedOr(s, "wrapT", 10497));
        if (unsignedOr(s, "magFilter", 9729) == 9728) result.magnificationFilter = SCNFilterMode::nearest;
        switch (unsignedOr(s, "minFilter", 9987)) {
            case 9728: result.minificationFilter = SCNFilterMode::nearest, result.mipFilter = SCNFilterMode::none; break;
            case 9729: result.mipFilter = SCNFilterMode::none; break;
            case 9984: result.minificationFilter = SCNFilterMode::nearest, result.mipFilter = SCNFilterMode::nearest; break;
            case 9985: result.mipFilter = SCNFilterMode::nearest; break;
            case 9986: result.minificationFilter = SCNFilterMode::nearest; break;
            default: break;
        }
    }
    // KHR_texture_transform: uv' = T · R · S · uv, the matrix the renderer applies to (u, v, 0, 1).
    if (const auto* extensions = objectMember(*info, "extensions")) {
        if (const auto* transform = objectMember(*extensions, "KHR_texture_transform")) {
            const auto offset = numbersOr<2>(*transform, "offset", {0.0, 0.0});
            const auto scale = numbersOr<2>(*transform, "scale", {1.0, 1.0});
            const double rotation = numberOr(*transform, "rotation", 0.0);
            const auto c = static_cast<float>(std::cos(rotation));
            const auto s = static_cast<float>(std::sin(rotation));
            glm::mat4 m(1.0f);
            m[0] = glm::vec4(c * static_cast<float>(scale[0]), s * static_cast<float>(scale[0]), 0, 0);
            m[1] = glm::vec4(-s * static_cast<float>(scale[1]), c * static_cast<float>(scale[1]), 0, 0);
            m[3] = glm::vec4(static_cast<float>(offset[0]), static_cast<float>(offset[1]), 0, 1);
            result.transform = m;
            if (member(*transform, "texCoord"))
                result.channel = static_cast<int>(std::min<std::uint64_t>(unsignedOr(*transform, "texCoord", 0), 7));
        }
    }
    return result;
}

}  // namespace vantrel::detail
