#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "vantrel/graph/SCNMaterialProperty.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {

/// What decoding accepts. An image beyond either limit is refused before any pixel memory is taken.
struct ImageDecodingLimits {
    /// The largest width or height.
    int maxDimension = UIImage::kMaxDimension;
    /// The largest width × height.
    std::uint64_t maxPixelCount = UIImage::kMaxPixelCount;
};

/// A decoded image and what its file said about it.
struct DecodedImage {
    /// RGBA with 8 bits per channel, rows from the top; grey images are spread over red, green
    /// and blue, and images without alpha are opaque.
    std::shared_ptr<UIImage> image;
    /// The colour space the file declares: a PNG whose gamma is 1.0 (and that names no sRGB or ICC
    /// profile) is linear, everything else sRGB.
    SCNColorSpace colorSpace = SCNColorSpace::sRGB;
    /// Bits per channel in the file: 8 or 16.
    int sourceBitsPerChannel = 8;
    /// Channels in the file: 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA.
    int sourceChannels = 4;
};

/// Decodes PNG or JPEG bytes (8 or 16 bits per channel; grey, grey and alpha, RGB, RGBA).
///
/// Bytes are untrusted: anything else, a file that is cut short (a PNG missing chunks, a JPEG
/// without its end marker), or an image beyond `limits` gives nothing. Never throws.
[[nodiscard]] std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes,
                                                      const ImageDecodingLimits& limits = {});

}  // namespace vantrel
