#pragma once

// Small encoded images for the material tests, made in memory: PNG in every channel layout and
// bit depth the decoder accepts (stored, uncompressed deflate), JPEG through stb_image_write or
// libjpeg, and WebP through libwebp's encoder.

#include <cstdint>
#include <vector>

namespace vantrel::test {

using EncodedImage = std::vector<std::uint8_t>;

/// A PNG of `channels` (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) with `bitDepth` 8 or 16; `samples`
/// holds width × height × channels values, row by row. `gamma` 100000 marks it as linear.
EncodedImage encodePng(int width, int height, int channels, int bitDepth, const std::vector<std::uint16_t>& samples,
                       std::uint32_t gamma = 0);
/// A PNG of one colour, 8-bit RGBA.
EncodedImage solidPng(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255);
/// A PNG whose header claims `width` × `height` and that has no pixel data.
EncodedImage pngHeaderOnly(std::uint32_t width, std::uint32_t height);
/// A baseline JPEG made from `channels` (1 or 3) 8-bit samples; the file always holds colour.
EncodedImage encodeJpeg(int width, int height, int channels, const std::vector<std::uint8_t>& samples);

/// A JPEG written by libjpeg: `components` 1 (grey), 3 (colour) or 4 (CMYK stored inverted, as Adobe
/// writes it); `samples` holds width × height × components bytes. Progressive when asked.
EncodedImage encodeJpegWithLibjpeg(int width, int height, int components, const std::vector<std::uint8_t>& samples,
                                   bool progressive = false);
/// A still WebP of 8-bit RGBA samples, lossless or lossy (quality 90).
EncodedImage encodeWebp(int width, int height, const std::vector<std::uint8_t>& rgba, bool lossless);

}  // namespace vantrel::test
