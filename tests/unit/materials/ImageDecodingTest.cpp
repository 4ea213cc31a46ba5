// Texture bytes decoded into images: the layouts that decode, and the bytes that must not.

#include "TestImages.hpp"
#include "vantrel/graph/ImageDecoding.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace vantrel;
using test::EncodedImage;

namespace {

using Pixel = std::array<int, 4>;

Pixel firstPixel(const UIImage& image) {
    const auto& rgba = image.rgba();
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

struct Decodable {
    std::string name;
    EncodedImage bytes;
    int width;
    int height;
    int channels;
    int bits;
    SCNColorSpace colorSpace;
    Pixel first;
    int tolerance;  // JPEG is lossy
};

}  // namespace

TEST(ImageDecodingTest, EveryLayoutDecodesToRgbaWithItsSizeAndColourSpace) {
    const std::vector<Decodable> cases{
        {"8-bit grey", test::encodePng(2, 1, 1, 8, {40, 255}), 2, 1, 1, 8, SCNColorSpace::sRGB, {40, 40, 40, 255}, 0},
        {"8-bit grey+alpha",
         test::encodePng(1, 2, 2, 8, {90, 128, 0, 0}),
         1,
         2,
         2,
         8,
         SCNColorSpace::sRGB,
         {90, 90, 90, 128},
         0},
        {"8-bit RGB",
         test::encodePng(3, 2, 3, 8, std::vector<std::uint16_t>(18, 7)),
         3,
         2,
         3,
         8,
         SCNColorSpace::sRGB,
         {7, 7, 7, 255},
         0},
        {"8-bit RGBA", test::solidPng(4, 4, 10, 20, 30, 40), 4, 4, 4, 8, SCNColorSpace::sRGB, {10, 20, 30, 40}, 0},
        {"16-bit grey",
         test::encodePng(1, 1, 1, 16, {0xC8FF}),
         1,
         1,
         1,
         16,
         SCNColorSpace::sRGB,
         {200, 200, 200, 255},
         1},
        {"16-bit RGBA",
         test::encodePng(1, 1, 4, 16, {0xFFFF, 0x8000, 0x0000, 0x4000}),
         1,
         1,
         4,
         16,
         SCNColorSpace::sRGB,
         {255, 128, 0, 64},
         1},
        {"linear gamma",
         test::encodePng(1, 1, 3, 8, {1, 2, 3}, 100000),
         1,
         1,
         3,
         8,
         SCNColorSpace::linear,
         {1, 2, 3, 255},
         0},
        {"gamma 1/2.2",
         test::encodePng(1, 1, 3, 8, {1, 2, 3}, 45455),
         1,
         1,
         3,
         8,
         SCNColorSpace::sRGB,
         {1, 2, 3, 255},
         0},
        {"JPEG RGB",
         test::encodeJpeg(16, 8, 3,
                          [] {
                              std::vector<std::uint8_t> samples;
                              for (int i = 0; i < 16 * 8; ++i) samples.insert(samples.end(), {200, 100, 50});
                              return samples;
                          }()),
         16,
         8,
         3,
         8,
         SCNColorSpace::sRGB,
         {200, 100, 50, 255},
         4},
        // The JPEG writer stores grey samples as three-channel colour.
        {"JPEG of grey samples",
         test::encodeJpeg(8, 8, 1, std::vector<std::uint8_t>(64, 77)),
         8,
         8,
         3,
         8,
         SCNColorSpace::sRGB,
         {77, 77, 77, 255},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = decodeImage(c.bytes);
        ASSERT_TRUE(decoded);
        ASSERT_TRUE(decoded->image);
        EXPECT_EQ(decoded->image->width(), c.width);
        EXPECT_EQ(decoded->image->height(), c.height);
        EXPECT_EQ(decoded->image->rgba().size(), static_cast<std::size_t>(c.width * c.height * 4));
        EXPECT_EQ(decoded->sourceChannels, c.channels);
        EXPECT_EQ(decoded->sourceBitsPerChannel, c.bits);
        EXPECT_EQ(decoded->colorSpace, c.colorSpace);
        const Pixel first = firstPixel(*decoded->image);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(first[i], c.first[i], c.tolerance) << "channel " << i;
    }
}

TEST(ImageDecodingTest, BytesThatAreNoWholePngOrJpegAreRefused) {
    const auto png = test::solidPng(8, 8, 1, 2, 3);
    const auto jpeg = test::encodeJpeg(8, 8, 3, std::vector<std::uint8_t>(8 * 8 * 3, 99));
    ASSERT_TRUE(decodeImage(png));
    ASSERT_TRUE(decodeImage(jpeg));

    // Every cut of a good file, from nothing to one byte short, is refused.
    for (const auto* whole : {&png, &jpeg}) {
        for (std::size_t length = 0; length < whole->size(); ++length) {
            EXPECT_FALSE(decodeImage(std::span(whole->data(), length)))
                << "cut at " << length << " of " << whole->size();
        }
    }

    const std::vector<std::pair<std::string, EncodedImage>> refused{
        {"text", EncodedImage{'h', 'e', 'l', 'l', 'o'}},
        {"BMP", EncodedImage{'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0,  0, 0x36, 0, 0, 0, 0x28, 0, 0, 0, 1, 0,
                             0,   0,   1,    0, 0, 0, 1, 0, 24, 0, 0,    0, 0, 0, 4,    0, 0, 0, 0, 0,
                             0,   0,   0,    0, 0, 0, 0, 0, 0,  0, 0,    0, 0, 0, 255,  0, 0, 0}},
        {"GIF", EncodedImage{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}},
        {"absurd header", test::pngHeaderOnly(100000, 100000)},
        {"header without pixels", test::pngHeaderOnly(4, 4)},
    };
    for (const auto& [name, bytes] : refused) EXPECT_FALSE(decodeImage(bytes)) << name;

    // Bytes flipped one at a time never crash the decoder, whatever it makes of them.
    for (std::size_t at = 0; at < jpeg.size(); at += 7) {
        auto damaged = jpeg;
        damaged[at] ^= 0x5A;
        (void)decodeImage(damaged);
    }
}

TEST(ImageDecodingTest, ImagesBeyondThePixelLimitAreRefusedBeforeDecoding) {
    const auto png = test::solidPng(64, 64, 5, 5, 5);
    EXPECT_TRUE(decodeImage(png, {.maxDimension = 64, .maxPixelCount = 64 * 64}));
    EXPECT_FALSE(decodeImage(png, {.maxDimension = 64, .maxPixelCount = 64 * 64 - 1}));
    EXPECT_FALSE(decodeImage(png, {.maxDimension = 63, .maxPixelCount = 1u << 20}));
}
