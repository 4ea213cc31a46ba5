#pragma once

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

/// An image used as material contents or as a palette swatch: width, height and RGBA pixels with
/// 8 bits per channel, rows from the top. An image made from a file keeps the file's path and
/// decodes its pixels on first use.
///
/// Decoding refuses images wider or higher than `kMaxDimension` so that a hostile file cannot make
/// the library allocate gigabytes.
class UIImage {
public:
    /// The largest width or height that decoding accepts.
    static constexpr int kMaxDimension = 16384;

    /// An image from pixels already in memory. `rgba` must hold width × height × 4 bytes; it is cut or
    /// padded with transparent black when it does not, and negative sizes count as 0.
    UIImage(int width, int height, std::vector<std::uint8_t> rgba);

    /// Decodes encoded image bytes (PNG, JPEG, BMP, TGA, GIF, PSD, HDR, PIC, PNM); nullptr when they do
    /// not decode or exceed the size limit.
    [[nodiscard]] static std::shared_ptr<UIImage> decode(std::span<const std::uint8_t> bytes);
    /// An image backed by a file. Only the header is read now; nullptr when the file is missing, is
    /// not an image or exceeds the size limit.
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

private:
    UIImage(int width, int height, std::filesystem::path path);

    int width_ = 0;
    int height_ = 0;
    std::optional<std::filesystem::path> path_;
    mutable std::once_flag decodeOnce_;
    mutable std::vector<std::uint8_t> rgba_;
};

}  // namespace vantrel
