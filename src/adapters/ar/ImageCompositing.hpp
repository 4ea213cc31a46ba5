#pragma once

// Pixel work of the AR view and the session recorder, on the CPU: fitting a camera picture to a
// viewport, laying a rendered scene over it, writing pictures.

#include <filesystem>
#include <memory>
#include <optional>

#include "vantrel/core/Error.hpp"
#include "vantrel/graph/CGSize.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel::detail {

/// `image` scaled to fill `size` keeping its aspect, centred, the overflow cut off (bilinear).
std::shared_ptr<UIImage> fillImage(const UIImage& image, const CGSize& size);
/// `over` (alpha premultiplied, as the renderer clears to transparent black) laid over `under`
/// of the same size; the result is opaque.
std::shared_ptr<UIImage> compositeOver(const UIImage& over, const UIImage& under);
/// Writes `image` as PNG; an ARSession error (file unwritable) on failure.
std::optional<Error> writePng(const UIImage& image, const std::filesystem::path& path);
/// Writes `image` as JPEG of the given quality (1…100); an ARSession error on failure.
std::optional<Error> writeJpeg(const UIImage& image, const std::filesystem::path& path, int quality = 90);
/// Mean brightness of `image` (Rec. 709 luma of the sRGB values, 0…1).
double meanBrightness(const UIImage& image);

}  // namespace vantrel::detail
