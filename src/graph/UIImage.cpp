#include "vantrel/graph/UIImage.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "vantrel/graph/ImageDecoding.hpp"

namespace vantrel {
namespace {

constexpr int kChannels = 4;

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
    auto decoded = decodeImage(bytes);
    return decoded ? std::move(decoded->image) : nullptr;
}

std::shared_ptr<UIImage> UIImage::fromFloatPixels(int width, int height, std::vector<float> rgbaFloat) {
    return std::shared_ptr<UIImage>(new UIImage(width, height, std::move(rgbaFloat), UIImagePixelFormat::rgba32Float));
}

std::shared_ptr<UIImage> UIImage::decodeHighDynamicRange(std::span<const std::uint8_t> bytes) {
    const auto decoded = decodeImage(bytes);
    if (!decoded) {
        return nullptr;
    }
    // Colours seen through the display curve come back to linear light; alpha is linear already.
    const bool linear = decoded->colorSpace == SCNColorSpace::linear;
    const auto& rgba = decoded->image->rgba();
    std::vector<float> pixels(rgba.size());
    for (std::size_t i = 0; i < rgba.size(); ++i) {
        const float value = static_cast<float>(rgba[i]) / 255.0f;
        const bool isAlpha = i % kChannels == kChannels - 1;
        pixels[i] = isAlpha || linear ? value : std::pow(value, 2.2f);
    }
    return fromFloatPixels(decoded->image->width(), decoded->image->height(), std::move(pixels));
}

std::shared_ptr<UIImage> UIImage::fromFile(const std::filesystem::path& path) {
    const auto info = readImageFileInfo(path);
    if (!info) {
        return nullptr;
    }
    return std::shared_ptr<UIImage>(new UIImage(info->width, info->height, path));
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
            const auto decoded = decodeImageFile(*path_);
            // The file may have changed since its header was read: keep the size promised then.
            if (decoded && decoded->image->width() == width_ && decoded->image->height() == height_) {
                rgba_ = decoded->image->rgba();
            }
        });
    }
    return rgba_;
}

}  // namespace vantrel
