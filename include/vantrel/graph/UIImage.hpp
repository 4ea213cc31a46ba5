#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "vantrel/graph/UIColor.hpp"

namespace vantrel {

/// How an image stores its pixels.
enum class UIImagePixelFormat {
    rgba8,        ///< Four 8-bit channels (colours as seen, usually sRGB).
    rgba32Float,  ///< Four 32-bit float channels of linear light, unbounded (lighting environments).
};

/// An image used as material contents or as a palette swatch: width, height and RGBA pixels with
/// 8 bits per channel, rows from the top; or, for lighting environments, float pixels of linear
/// light (`pixelFormat`), which also offer a clamped 8-bit copy through `rgba` for code that reads
/// only bytes. An image made from a file keeps the file's path and
/// decodes its pixels on first use.
///
/// Decoding refuses images wider or higher than `kMaxDimension`, or with more than `kMaxPixelCount`
/// pixels, so that a hostile file cannot make the library allocate gigabytes.
class UIImage {
public:
    /// The largest width or height that decoding accepts.
    static constexpr int kMaxDimension = 16384;
    /// The most pixels (width × height) that decoding accepts: 64 mega-pixels, 256 MiB of RGBA.
    static constexpr std::int64_t kMaxPixelCount = std::int64_t{1} << 26;

    /// An image from pixels already in memory. `rgba` must hold width × height × 4 bytes; it is cut or
    /// padded with transparent black when it does not, and negative sizes count as 0.
    UIImage(int width, int height, std::vector<std::uint8_t> rgba);

    /// Decodes encoded image bytes (PNG, JPEG or WebP, as `decodeImage`); nullptr when they do not
    /// decode, are of any other format, or exceed the size limit.
    [[nodiscard]] static std::shared_ptr<UIImage> decode(std::span<const std::uint8_t> bytes);
    /// A float image from linear RGBA pixels in memory (width × height × 4 floats; cut or padded with
    /// transparent black otherwise). Not-finite values become 0.
    [[nodiscard]] static std::shared_ptr<UIImage> fromFloatPixels(int width, int height, std::vector<float> rgbaFloat);
    /// Decodes encoded image bytes (as `decode`) into a float image of linear light: colours are
    /// converted from sRGB unless the file declares them linear. nullptr as for `decode`.
    [[nodiscard]] static std::shared_ptr<UIImage> decodeHighDynamicRange(std::span<const std::uint8_t> bytes);
    /// An image backed by a file. Only the header is read now (and the file checked to be whole);
    /// nullptr when the file is missing, is no PNG, JPEG or WebP, is cut short or exceeds the size
    /// limit.
    [[nodiscard]] static std::shared_ptr<UIImage> fromFile(const std::filesystem::path& path);
    /// An image of the given size filled with one colour (components clamped to 0…1).
    [[nodiscard]] static std::shared_ptr<UIImage> filled(const UIColor& color, int width = 1, int height = 1);

    /// Width in pixels.
    [[nodiscard]] int width() const noexcept { return width_; }
    /// Height in pixels.
    [[nodiscard]] int height() const noexcept { return height_; }
    /// The file the image comes from, when it was made from one.
    [[nodiscard]] const std::optional<std::filesystem::path>& filePath() const noexcept { return path_; }
    /// RGBA pixels, width × height × 4 bytes; a file-backed image decodes here the first time. Empty
    /// when the file can no longer be decoded.
    [[nodiscard]] const std::vector<std::uint8_t>& rgba() const;
    /// How the pixels are stored; rgba8 unless the image was made from float pixels.
    [[nodiscard]] UIImagePixelFormat pixelFormat() const noexcept { return format_; }
    /// Float pixels, width × height × 4, for a float image; empty for an 8-bit one.
    [[nodiscard]] const std::vector<float>& rgbaFloat() const noexcept { return rgbaFloat_; }

private:
    UIImage(int width, int height, std::filesystem::path path);
    UIImage(int width, int height, std::vector<float> rgbaFloat, UIImagePixelFormat format);

    int width_ = 0;
    int height_ = 0;
    std::optional<std::filesystem::path> path_;
    mutable std::once_flag decodeOnce_;
    mutable std::vector<std::uint8_t> rgba_;
    UIImagePixelFormat format_ = UIImagePixelFormat::rgba8;
    std::vector<float> rgbaFloat_;
};

}  // namespace vantrel

#pragma GCC visibility pop
