// Image bytes from outside: only PNG, JPEG and WebP are decoded, each by its own library, and every
// refusal says why.

#include "TestImages.hpp"
#include "vantrel/graph/ImageDecoding.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vantrel;
using test::EncodedImage;

namespace {

EncodedImage bytesOf(std::string_view text) { return EncodedImage(text.begin(), text.end()); }

EncodedImage operator+(EncodedImage head, const EncodedImage& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

void expectRefused(const EncodedImage& bytes, ImageDecodingErrorCode code, const std::string& mentioned = {}) {
    const auto decoded = decodeImageOrError(bytes);
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error().domain, kImageDecodingErrorDomain);
    EXPECT_EQ(decoded.error().code, static_cast<long>(code)) << decoded.error().message;
    if (!mentioned.empty()) {
        EXPECT_NE(decoded.error().message.find(mentioned), std::string::npos) << decoded.error().message;
    }
    EXPECT_FALSE(decodeImage(bytes));
    EXPECT_EQ(UIImage::decode(bytes), nullptr);
}

// Index of the first byte after marker 0xFF `marker` (its length field), or npos.
std::size_t segment(const EncodedImage& jpeg, std::uint8_t marker) {
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i + 2;
    }
    return std::string::npos;
}

std::size_t segmentLength(const EncodedImage& jpeg, std::size_t at) { return (std::size_t{jpeg[at]} << 8) | jpeg[at + 1]; }

std::vector<std::uint8_t> gradient(int width, int height, int components) {
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) samples.push_back(static_cast<std::uint8_t>((x * 8 + y * 3 + c * 40) & 0xFF));
        }
    }
    return samples;
}

std::filesystem::path temporaryFile(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("vantrel-untrusted-" + std::to_string(::getpid()) + "-" + name);
}

void writeFile(const std::filesystem::path& path, const EncodedImage& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(UntrustedImageTest, FormatsOtherThanPngJpegAndWebpAreRefusedByName) {
    const EncodedImage rgb{255, 0, 0, 0, 0, 255};
    expectRefused(bytesOf("GIF89a") + EncodedImage{1, 0, 1, 0, 0, 0, 0, ';'}, ImageDecodingErrorCode::unsupportedFormat,
                  "GIF");
    expectRefused(bytesOf("8BPS") + EncodedImage{0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 2, 0, 8, 0, 3},
                  ImageDecodingErrorCode::unsupportedFormat, "PSD");
    expectRefused(bytesOf("P6\n2 1\n255\n") + rgb, ImageDecodingErrorCode::unsupportedFormat, "PNM");
    // A size that overflowed the old header parser's int.
    expectRefused(bytesOf("P6\n99999999999 1\n255\n") + rgb, ImageDecodingErrorCode::unsupportedFormat, "PNM");
    expectRefused(bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n") + EncodedImage{128, 128, 128, 130},
                  ImageDecodingErrorCode::unsupportedFormat, "HDR");
    expectRefused(EncodedImage{0x53, 0x80, 0xF6, 0x34, 0, 0, 0, 0}, ImageDecodingErrorCode::unsupportedFormat, "PIC");
    expectRefused(bytesOf("BM") + EncodedImage(60, 0), ImageDecodingErrorCode::unsupportedFormat, "BMP");
    // TGA has no signature: an uncompressed 1×1 true-colour file is just not an image.
    expectRefused(EncodedImage{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 10, 20, 30},
                  ImageDecodingErrorCode::unsupportedFormat, "only PNG, JPEG and WebP");
    expectRefused({}, ImageDecodingErrorCode::unsupportedFormat);

    const auto path = temporaryFile("image.ppm");
    writeFile(path, bytesOf("P6\n2 1\n255\n") + rgb);
    EXPECT_EQ(UIImage::fromFile(path), nullptr);
    EXPECT_EQ(UIImage::decodeHighDynamicRange(bytesOf("P6\n2 1\n255\n") + rgb), nullptr);
    std::filesystem::remove(path);
}

TEST(UntrustedImageTest, CutShortAndDamagedFilesAreRefusedAsMalformed) {
    const auto png = test::encodePng(16, 16, 3, 8, std::vector<std::uint16_t>(16 * 16 * 3, 9));
    const auto jpeg = test::encodeJpeg(32, 32, 3, gradient(32, 32, 3));
    const auto webp = test::encodeWebp(16, 16, gradient(16, 16, 4), true);
    for (const auto& [name, whole] : {std::pair{"PNG", &png}, {"JPEG", &jpeg}, {"WebP", &webp}}) {
        ASSERT_TRUE(decodeImage(*whole)) << name;
        ASSERT_TRUE(readImageFileInfo(*whole)) << name;
        const EncodedImage half(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(whole->size() / 2));
        expectRefused(half, ImageDecodingErrorCode::malformed, name);
        const auto info = readImageFileInfo(half);
        ASSERT_FALSE(info) << name;
        EXPECT_NE(info.error().message.find("cut short"), std::string::npos) << info.error().message;
    }

    // A JPEG whose scan lost its second half but still ends with the end marker: the decoder would
    // make up the missing pixels.
    auto scanCut = jpeg;
    const std::size_t scan = segment(jpeg, 0xDA);
    ASSERT_NE(scan, std::string::npos);
    const std::size_t data = scan + segmentLength(jpeg, scan);
    scanCut.erase(scanCut.begin() + static_cast<std::ptrdiff_t>(data + (jpeg.size() - data) / 2), scanCut.end() - 2);
    ASSERT_TRUE(readImageFileInfo(scanCut)) << "whole as far as its markers go";
    expectRefused(scanCut, ImageDecodingErrorCode::malformed, "JPEG");

    // A file-backed image of a cut PNG is refused when made, not shown blank later.
    const auto path = temporaryFile("cut.png");
    writeFile(path, EncodedImage(png.begin(), png.end() - 20));
    EXPECT_EQ(UIImage::fromFile(path), nullptr);
    std::filesystem::remove(path);
}

TEST(UntrustedImageTest, SizesBeyondTheLimitsAreRefusedFromTheHeaderAlone) {
    // None of these files has the pixel data for its size: "too large" rather than "malformed"
    // shows that the header was judged before anything else was read or allocated.
    expectRefused(test::pngHeaderOnly(100000, 100000), ImageDecodingErrorCode::tooLarge, "100000 x 100000");
    expectRefused(test::pngHeaderOnly(16384, 16385), ImageDecodingErrorCode::tooLarge);
    EXPECT_FALSE(readImageFileInfo(test::pngHeaderOnly(100000, 100000)));

    auto jpeg = test::encodeJpeg(8, 8, 3, gradient(8, 8, 3));
    const std::size_t frame = segment(jpeg, 0xC0);
    ASSERT_NE(frame, std::string::npos);
    for (const std::size_t at : {frame + 3, frame + 5}) {  // height, then width: 60000 each
        jpeg[at] = 0xEA;
        jpeg[at + 1] = 0x60;
    }
    expectRefused(jpeg, ImageDecodingErrorCode::tooLarge, "60000 x 60000");

    // A lossless WebP's header holds 14-bit sizes less one: 16384 × 16384 is 256 megapixels.
    auto webp = test::encodeWebp(4, 4, std::vector<std::uint8_t>(64, 200), true);
    ASSERT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8L");
    const std::uint32_t bits = 16383u | (16383u << 14) | (std::uint32_t{webp[24]} & 0xF0u) << 24;
    for (int i = 0; i < 4; ++i) webp[21 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * i));
    expectRefused(webp, ImageDecodingErrorCode::tooLarge, "16384 x 16384");

    const ImageDecodingLimits tight{.maxDimension = 64, .maxPixelCount = 64 * 64 - 1};
    for (const auto& bytes : {test::solidPng(64, 64, 1, 2, 3), test::encodeJpeg(64, 64, 3, gradient(64, 64, 3)),
                              test::encodeWebp(64, 64, gradient(64, 64, 4), false)}) {
        const auto refused = decodeImageOrError(bytes, tight);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().code, static_cast<long>(ImageDecodingErrorCode::tooLarge));
        EXPECT_TRUE(decodeImage(bytes, {.maxDimension = 64, .maxPixelCount = 64 * 64}));
    }
}

TEST(UntrustedImageTest, WebpDecodesThroughEveryEntryPoint) {
    // No pixel fully transparent: the encoder may drop the colour of those.
    const std::vector<std::uint8_t> rgba{255, 0,  0,  255, 0,  255, 0,  128, 0,  0,   255, 1,
                                         10,  20, 30, 40,  50, 60,  70, 80,  90, 100, 110, 120};
    const auto lossless = test::encodeWebp(3, 2, rgba, true);
    const auto decoded = decodeImage(lossless);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->image->width(), 3);
    EXPECT_EQ(decoded->image->height(), 2);
    EXPECT_EQ(decoded->image->rgba(), rgba) << "lossless keeps every pixel";
    EXPECT_EQ(decoded->sourceChannels, 4);
    EXPECT_EQ(decoded->colorSpace, SCNColorSpace::sRGB);

    const auto image = UIImage::decode(lossless);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->rgba(), rgba);

    const auto info = readImageFileInfo(lossless);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->format, ImageFileFormat::webp);
    EXPECT_EQ(info->width, 3);

    const auto path = temporaryFile("image.webp");
    writeFile(path, lossless);
    const auto fromFile = UIImage::fromFile(path);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(fromFile->rgba(), rgba);
    std::filesystem::remove(path);

    std::vector<std::uint8_t> opaque;
    for (int i = 0; i < 16 * 16; ++i) opaque.insert(opaque.end(), {200, 100, 50, 255});
    const auto lossy = decodeImage(test::encodeWebp(16, 16, opaque, false));
    ASSERT_TRUE(lossy);
    EXPECT_EQ(lossy->sourceChannels, 3);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(lossy->image->rgba()[i], opaque[i], 6) << "channel " << i;
}

TEST(UntrustedImageTest, GreyProgressiveAndCmykJpegsDecodeToRgba) {
    const auto grey = decodeImage(test::encodeJpegWithLibjpeg(16, 16, 1, std::vector<std::uint8_t>(256, 77), true));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->sourceChannels, 1);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(grey->image->rgba()[i], 77, 2);
    EXPECT_EQ(grey->image->rgba()[3], 255);

    // Inverted CMYK with no black (K stored as 255) shows the cyan, magenta and yellow as stored.
    std::vector<std::uint8_t> cmyk;
    for (int i = 0; i < 64; ++i) cmyk.insert(cmyk.end(), {200, 100, 50, 255});
    const auto colour = decodeImage(test::encodeJpegWithLibjpeg(8, 8, 4, cmyk));
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->sourceChannels, 4);
    const auto& rgba = colour->image->rgba();
    EXPECT_NEAR(rgba[0], 200, 3);
    EXPECT_NEAR(rgba[1], 100, 3);
    EXPECT_NEAR(rgba[2], 50, 3);
    EXPECT_EQ(rgba[3], 255);
}

// The inputs that made the previous decoder index its Huffman tables out of bounds: tables whose
// code counts or values are damaged.
TEST(UntrustedImageTest, DamagedHuffmanTablesAreRefusedOrDecodeSafely) {
    const auto jpeg = test::encodeJpeg(32, 16, 3, gradient(32, 16, 3));
    const std::size_t table = segment(jpeg, 0xC4);
    ASSERT_NE(table, std::string::npos);
    const std::size_t length = segmentLength(jpeg, table);

    auto tooManyCodes = jpeg;  // 16 × 255 codes where at most 256 fit
    std::fill_n(tooManyCodes.begin() + static_cast<std::ptrdiff_t>(table + 3), 16, 0xFF);
    expectRefused(tooManyCodes, ImageDecodingErrorCode::malformed, "JPEG");

    std::size_t refused = 0;
    std::size_t tried = 0;
    for (std::size_t at = table + 2; at < table + length; ++at) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80},
                                         static_cast<std::uint8_t>(jpeg[at] + 1)}) {
            auto damaged = jpeg;
            damaged[at] = value;
            const auto decoded = decodeImageOrError(damaged);
            ++tried;
            if (!decoded) {
                ++refused;
                EXPECT_EQ(decoded.error().code, static_cast<long>(ImageDecodingErrorCode::malformed));
            } else {
                EXPECT_EQ(decoded->image->rgba().size(), 32u * 16u * 4u);
            }
        }
    }
    EXPECT_GT(refused, tried / 4) << "most damage is noticed";
}
