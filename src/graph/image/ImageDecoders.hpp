#pragma once

// One decoder per accepted encoding, each over the library made for it. `decodeImage` picks one by
// the file's signature; the decoders assume the signature matched.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "vantrel/graph/ImageDecoding.hpp"

namespace vantrel::detail {

using ImageBytes = std::span<const std::uint8_t>;

/// An image decoding error with `code` and `message`.
[[nodiscard]] Error makeImageError(ImageDecodingErrorCode code, std::string message);

/// The `tooLarge` error when `width` × `height` is beyond `limits` (or not a positive size).
[[nodiscard]] std::optional<Error> sizeOutsideLimits(const char* format, std::uint64_t width, std::uint64_t height,
                                                     const ImageDecodingLimits& limits);

/// The header of a PNG (libpng reads it; no pixel memory is taken).
[[nodiscard]] Expected<ImageFileInfo> readPngInfo(ImageBytes bytes, const ImageDecodingLimits& limits);
/// A whole PNG, to RGBA 8 bits; 16-bit channels are rounded to 8, palettes and transparency
/// colours expanded.
[[nodiscard]] Expected<DecodedImage> decodePng(ImageBytes bytes, const ImageDecodingLimits& limits);

/// The header of a JPEG (libjpeg-turbo reads it; no pixel memory is taken).
[[nodiscard]] Expected<ImageFileInfo> readJpegInfo(ImageBytes bytes, const ImageDecodingLimits& limits);
/// A whole JPEG, to RGBA 8 bits; any warning about corrupt data fails it.
[[nodiscard]] Expected<DecodedImage> decodeJpeg(ImageBytes bytes, const ImageDecodingLimits& limits);

/// The header of a still WebP, lossy or lossless (libwebp reads it).
[[nodiscard]] Expected<ImageFileInfo> readWebpInfo(ImageBytes bytes, const ImageDecodingLimits& limits);
/// A whole still WebP, to RGBA 8 bits.
[[nodiscard]] Expected<DecodedImage> decodeWebp(ImageBytes bytes, const ImageDecodingLimits& limits);

}  // namespace vantrel::detail
