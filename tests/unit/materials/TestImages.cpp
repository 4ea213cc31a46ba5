#include "TestImages.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <jpeglib.h>
#include <webp/encode.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace vantrel::test {
namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(EncodedImage& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putChunk(EncodedImage& out, std::string_view type, const EncodedImage& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    EncodedImage typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    putBigEndian(out, crc32(typed.data(), typed.size()));
}

// A zlib stream of stored blocks.
EncodedImage zlibStored(const EncodedImage& raw) {
    EncodedImage out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
        const bool last = at + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const auto byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian(out, (b << 16) | a);
    return out;
}

EncodedImage header(std::uint32_t width, std::uint32_t height, int channels, int bitDepth) {
    static constexpr std::array<std::uint8_t, 5> colorTypes{0, 0, 4, 2, 6};
    EncodedImage ihdr;
    putBigEndian(ihdr, width);
    putBigEndian(ihdr, height);
    ihdr.insert(ihdr.end(),
                {static_cast<std::uint8_t>(bitDepth), colorTypes.at(static_cast<std::size_t>(channels)), 0, 0, 0});
    EncodedImage out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(out, "IHDR", ihdr);
    return out;
}

}  // namespace

EncodedImage encodePng(int width, int height, int channels, int bitDepth, const std::vector<std::uint16_t>& samples,
                       std::uint32_t gamma) {
    auto out = header(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), channels, bitDepth);
    if (gamma != 0) {
        EncodedImage value;
        putBigEndian(value, gamma);
        putChunk(out, "gAMA", value);
    }
    EncodedImage raw;
    std::size_t next = 0;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int i = 0; i < width * channels; ++i) {
            const std::uint16_t sample = samples.at(next++);
            if (bitDepth == 16) raw.push_back(static_cast<std::uint8_t>(sample >> 8));
            raw.push_back(static_cast<std::uint8_t>(sample));
        }
    }
    putChunk(out, "IDAT", zlibStored(raw));
    putChunk(out, "IEND", {});
    return out;
}

EncodedImage solidPng(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    std::vector<std::uint16_t> samples;
    for (int i = 0; i < width * height; ++i) samples.insert(samples.end(), {r, g, b, a});
    return encodePng(width, height, 4, 8, samples);
}

EncodedImage pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    auto out = header(width, height, 4, 8);
    putChunk(out, "IEND", {});
    return out;
}

EncodedImage encodeJpeg(int width, int height, int channels, const std::vector<std::uint8_t>& samples) {
    EncodedImage out;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            auto* bytes = static_cast<std::uint8_t*>(data);
            static_cast<EncodedImage*>(context)->insert(static_cast<EncodedImage*>(context)->end(), bytes,
                                                        bytes + size);
        },
        &out, width, height, channels, samples.data(), 95);
    return out;
}

EncodedImage encodeJpegWithLibjpeg(int width, int height, int components, const std::vector<std::uint8_t>& samples,
                                   bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const auto stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row = const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    EncodedImage out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

EncodedImage encodeWebp(int width, int height, const std::vector<std::uint8_t>& rgba, bool lossless) {
    std::uint8_t* output = nullptr;
    const std::size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &output)
                                      : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 90.0f, &output);
    EncodedImage out(output, output + size);
    WebPFree(output);
    return out;
}

}  // namespace vantrel::test
