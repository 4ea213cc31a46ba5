#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"
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

/// Why bytes did not decode. Errors of image decoding carry the domain `kImageDecodingErrorDomain`
/// and one of these as their code.
enum class ImageDecodingErrorCode : long {
    unsupportedFormat = 1,  ///< Not PNG, JPEG or WebP (GIF, PSD, PNM, TGA, HDR, BMP and PIC among them).
    tooLarge = 2,           ///< The header declares an image beyond the limits; nothing was allocated for it.
    malformed = 3,          ///< Damaged, cut short, or a variant the decoders do not take (animated WebP).
    unreadable = 4,         ///< The file could not be read.
};

/// The error domain of image decoding.
inline constexpr const char* kImageDecodingErrorDomain = "ImageDecoding";

/// The encodings that decoding accepts.
enum class ImageFileFormat { png, jpeg, webp };

/// What an image file's header says, read without decoding its pixels.
struct ImageFileInfo {
    /// The encoding.
    ImageFileFormat format = ImageFileFormat::png;
    /// Width in pixels.
    int width = 0;
    /// Height in pixels.
    int height = 0;
    /// As `DecodedImage::colorSpace`.
    SCNColorSpace colorSpace = SCNColorSpace::sRGB;
    /// As `DecodedImage::sourceBitsPerChannel`.
    int sourceBitsPerChannel = 8;
    /// As `DecodedImage::sourceChannels`.
    int sourceChannels = 4;
};

/// Decodes PNG, JPEG or WebP bytes (8 or 16 bits per channel; grey, grey and alpha, RGB, RGBA; CMYK
/// JPEG; still WebP, lossy or lossless).
///
/// Bytes are untrusted: they are decoded by libpng, libjpeg-turbo and libwebp, and nothing else.
/// Any other format, a file that is cut short (a PNG missing chunks, a JPEG without its end marker),
/// a damaged one (the JPEG decoder's warnings about corrupt data count as failures) or an image
/// beyond `limits` gives nothing. Never throws.
[[nodiscard]] std::optional<DecodedImage> decodeImage(std::span<const std::uint8_t> bytes,
                                                      const ImageDecodingLimits& limits = {});

/// As `decodeImage`, with the reason when the bytes do not decode: an error of domain
/// `kImageDecodingErrorDomain` whose message names the format and what is wrong.
[[nodiscard]] Expected<DecodedImage> decodeImageOrError(std::span<const std::uint8_t> bytes,
                                                        const ImageDecodingLimits& limits = {});

/// Reads the header of PNG, JPEG or WebP bytes and checks that the file is whole (every PNG chunk
/// present up to the end chunk, the JPEG's end marker reached, the WebP container complete),
/// without decoding the pixels. Errors as `decodeImageOrError`; bytes accepted here may still fail
/// to decode when their compressed data is damaged.
[[nodiscard]] Expected<ImageFileInfo> readImageFileInfo(std::span<const std::uint8_t> bytes,
                                                        const ImageDecodingLimits& limits = {});

/// As `decodeImageOrError` for the content of the file at `path` (`unreadable` when it cannot be read).
[[nodiscard]] Expected<DecodedImage> decodeImageFile(const std::filesystem::path& path,
                                                     const ImageDecodingLimits& limits = {});

/// As `readImageFileInfo` for the content of the file at `path` (`unreadable` when it cannot be read).
[[nodiscard]] Expected<ImageFileInfo> readImageFileInfo(const std::filesystem::path& path,
                                                        const ImageDecodingLimits& limits = {});

}  // namespace vantrel

#pragma GCC visibility pop
