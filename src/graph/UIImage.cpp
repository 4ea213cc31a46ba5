#include "vantrel/graph/UIImage.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <fstream>
#include <iterator>

// A private copy of the decoder: static linkage keeps it from clashing with any other part of the
// library that embeds the same single-file decoder.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

namespace vantrel {
namespace {

constexpr int kChannels = 4;

bool acceptableSize(int width, int height) {
    return width > 0 && height > 0 && width <= UIImage::kMaxDimension && height <= UIImage::kMaxDimension &&
           std::int64_t{width} * height <= UIImage::kMaxPixelCount;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// Decodes `bytes` with `load` (8-bit or float pixels), width × height × 4 values of type T. The header
// is checked first so that an absurd size never reaches the allocator.
template <typename T, typename Load>
std::optional<std::vector<T>> decodePixels(std::span<const std::uint8_t> bytes, int& width, int& height, Load load) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const auto length = static_cast<int>(bytes.size());
    int channels = 0;
    if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0 ||
        !acceptableSize(width, height)) {
        return std::nullopt;
    }
    T* pixels = load(bytes.data(), length, &width, &height, &channels, kChannels);
    if (pixels == nullptr) {
        return std::nullopt;
    }
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kChannels;
    std::vector<T> result(pixels, pixels + size);
    stbi_image_free(pixels);
    return result;
}

std::optional<Decoded> decodeBytes(std::span<const std::uint8_t> bytes) {
    Decoded decoded;
    auto pixels = decodePixels<stbi_uc>(bytes, decoded.width, decoded.height, stbi_load_from_memory);
    if (!pixels) {
        return std::nullopt;
    }
    decoded.rgba = std::move(*pixels);
    return decoded;
}

std::uint8_t toByte(double component) {
    const double clamped = std::isnan(component) ? 0.0 : std::clamp(component, 0.0, 1.0);
    return static_cast<std::uint8_t>(std::lround(clamped * 255.0));
}

}  // namespace

UIImage::UIImage(int width, int height, std::vector<std::uint8_t> rgba)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), rgba_(std::move(rgba)) {
    rgba_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * kChannels, 0);
}

UIImage::UIImage(int width, int height, std::vector<float> rgbaFloat, UIImagePixelFormat format)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), format_(format), rgbaFloat_(std::move(rgbaFloat)) {
    const std::size_t size = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * kChannels;
    rgbaFloat_.resize(size, 0.0f);
    rgba_.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        float& value = rgbaFloat_[i];
        if (!std::isfinite(value)) {
            value = 0.0f;
        }
        // The byte copy shows colours as seen (sRGB-like gamma); alpha stays linear.
        const bool isAlpha = i % kChannels == kChannels - 1;
        rgba_[i] = toByte(isAlpha ? value : std::pow(std::max(value, 0.0f), 1.0f / 2.2f));
    }
}

UIImage::UIImage(int width, int height, std::filesystem::path path)
    : width_(width), height_(height), path_(std::move(path)) {}

std::shared_ptr<UIImage> UIImage::decode(std::span<const std::uint8_t> bytes) {
    auto decoded = decodeBytes(bytes);
    if (!decoded) {
        return nullptr;
    }
    return std::make_shared<UIImage>(decoded->width, decoded->height, std::move(decoded->rgba));
}

std::shared_ptr<UIImage> UIImage::fromFloatPixels(int width, int height, std::vector<float> rgbaFloat) {
    return std::shared_ptr<UIImage>(new UIImage(width, height, std::move(rgbaFloat), UIImagePixelFormat::rgba32Float));
}

std::shared_ptr<UIImage> UIImage::decodeHighDynamicRange(std::span<const std::uint8_t> bytes) {
    // 8-bit images come from sRGB; the decoder undoes that curve with this gamma.
    stbi_ldr_to_hdr_gamma(2.2f);
    int width = 0;
    int height = 0;
    auto pixels = decodePixels<float>(bytes, width, height, stbi_loadf_from_memory);
    if (!pixels) {
        return nullptr;
    }
    return fromFloatPixels(width, height, std::move(*pixels));
}

std::shared_ptr<UIImage> UIImage::fromFile(const std::filesystem::path& path) {
    const auto bytes = readFile(path);
    if (!bytes || bytes->empty() || bytes->size() > static_cast<std::size_t>(INT_MAX)) {
        return nullptr;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    if (stbi_info_from_memory(bytes->data(), static_cast<int>(bytes->size()), &width, &height, &channels) == 0 ||
        !acceptableSize(width, height)) {
        return nullptr;
    }
    return std::shared_ptr<UIImage>(new UIImage(width, height, path));
}

std::shared_ptr<UIImage> UIImage::filled(const UIColor& color, int width, int height) {
    const std::array<std::uint8_t, kChannels> pixel{toByte(color.red()), toByte(color.green()), toByte(color.blue()),
                                                    toByte(color.alpha())};
    width = std::clamp(width, 0, kMaxDimension);
    height = std::clamp(height, 0, kMaxDimension);
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kChannels);
    for (int i = 0; i < width * height; ++i) {
        rgba.insert(rgba.end(), pixel.begin(), pixel.end());
    }
    return std::make_shared<UIImage>(width, height, std::move(rgba));
}

const std::vector<std::uint8_t>& UIImage::rgba() const {
    if (path_) {
        std::call_once(decodeOnce_, [this] {
            const auto bytes = readFile(*path_);
            if (!bytes) {
                return;
            }
            auto decoded = decodeBytes(*bytes);
            // The file may have changed since its header was read: keep the size promised then.
            if (decoded && decoded->width == width_ && decoded->height == height_) {
                rgba_ = std::move(decoded->rgba);
            }
        });
    }
    return rgba_;
}

}  // namespace vantrel
