#include "adapters/ar/ImageCompositing.hpp"

#include <algorithm>
#include <cmath>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "vantrel/adapters/ARSession.hpp"

namespace vantrel::detail {
namespace {

Error unwritable(const std::filesystem::path& path) {
    return Error(ARSession::errorDomain, static_cast<long>(ARSessionErrorCode::fileUnwritable),
                 "cannot write " + path.string());
}

}  // namespace

std::shared_ptr<UIImage> fillImage(const UIImage& image, const CGSize& size) {
    const int width = std::max(1, static_cast<int>(size.width));
    const int height = std::max(1, static_cast<int>(size.height));
    const auto& src = image.rgba();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
    if (src.empty() || image.width() <= 0 || image.height() <= 0) {
        return std::make_shared<UIImage>(width, height, std::move(out));
    }
    const double scale =
        std::max(static_cast<double>(width) / image.width(), static_cast<double>(height) / image.height());
    const double offsetX = (image.width() * scale - width) / 2.0;
    const double offsetY = (image.height() * scale - height) / 2.0;
    const auto texel = [&](int x, int y, int c) {
        x = std::clamp(x, 0, image.width() - 1);
        y = std::clamp(y, 0, image.height() - 1);
        return static_cast<double>(
            src[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width()) + static_cast<std::size_t>(x)) *
                    4 +
                static_cast<std::size_t>(c)]);
    };
    for (int y = 0; y < height; ++y) {
        const double sy = (y + 0.5 + offsetY) / scale - 0.5;
        const int y0 = static_cast<int>(std::floor(sy));
        const double fy = sy - y0;
        for (int x = 0; x < width; ++x) {
            const double sx = (x + 0.5 + offsetX) / scale - 0.5;
            const int x0 = static_cast<int>(std::floor(sx));
            const double fx = sx - x0;
            for (int c = 0; c < 4; ++c) {
                const double top = texel(x0, y0, c) * (1 - fx) + texel(x0 + 1, y0, c) * fx;
                const double bottom = texel(x0, y0 + 1, c) * (1 - fx) + texel(x0 + 1, y0 + 1, c) * fx;
                out[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4 +
                    static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
            }
        }
    }
    return std::make_shared<UIImage>(width, height, std::move(out));
}

std::shared_ptr<UIImage> compositeOver(const UIImage& over, const UIImage& under) {
    const auto& top = over.rgba();
    const auto& bottom = under.rgba();
    std::vector<std::uint8_t> out(top.size(), 255);
    for (std::size_t i = 0; i + 3 < top.size() && i + 3 < bottom.size(); i += 4) {
        const int alpha = top[i + 3];
        for (std::size_t c = 0; c < 3; ++c) {
            const int value = top[i + c] + (bottom[i + c] * (255 - alpha) + 127) / 255;
            out[i + c] = static_cast<std::uint8_t>(std::min(value, 255));
        }
    }
    return std::make_shared<UIImage>(over.width(), over.height(), std::move(out));
}

std::optional<Error> writePng(const UIImage& image, const std::filesystem::path& path) {
    if (stbi_write_png(path.string().c_str(), image.width(), image.height(), 4, image.rgba().data(),
                       image.width() * 4) == 0) {
        return unwritable(path);
    }
    return std::nullopt;
}

std::optional<Error> writeJpeg(const UIImage& image, const std::filesystem::path& path, int quality) {
    // JPEG has no alpha: write the colour channels only.
    const auto& rgba = image.rgba();
    std::vector<std::uint8_t> rgb;
    rgb.reserve(rgba.size() / 4 * 3);
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    if (rgb.empty() || stbi_write_jpg(path.string().c_str(), image.width(), image.height(), 3, rgb.data(),
                                      std::clamp(quality, 1, 100)) == 0) {
        return unwritable(path);
    }
    return std::nullopt;
}

double meanBrightness(const UIImage& image) {
    const auto& rgba = image.rgba();
    if (rgba.empty()) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        sum += 0.2126 * rgba[i] + 0.7152 * rgba[i + 1] + 0.0722 * rgba[i + 2];
    }
    return sum / (static_cast<double>(rgba.size() / 4) * 255.0);
}

}  // namespace vantrel::detail
