#include "vantrel/graph/ImageDecoding.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

// A private copy of the decoder, limited to the two formats textures come in: static linkage keeps
// it apart from any other copy in the library, and every other format is refused before parsing.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_FAILURE_USERMSG
#include <stb/stb_image.h>

namespace vantrel {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr int kChannels = 4;
constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t readBigEndian32(Bytes bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

bool isPng(Bytes bytes) {
    return bytes.size() >= kPngSignature.size() &&
           std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin());
}

bool isJpeg(Bytes bytes) { return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF; }

// Walks a PNG's chunks: complete when every chunk fits and IEND is reached. The colour space comes
// from the chunks before the image data: sRGB or an ICC profile win, a gamma of exactly 1.0 means
// linear.
std::optional<SCNColorSpace> pngColorSpaceIfComplete(Bytes bytes) {
    bool profiled = false;
    bool linearGamma = false;
    std::size_t at = kPngSignature.size();
    while (at + 12 <= bytes.size()) {
        const std::uint64_t length = readBigEndian32(bytes, at);
        const std::string_view type(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
        if (length > bytes.size() - at - 12) return std::nullopt;
        const std::size_t data = at + 8;
        if (type == "IEND") {
            return linearGamma && !profiled ? SCNColorSpace::linear : SCNColorSpace::sRGB;
        }
        if (type == "sRGB" || type == "iCCP") profiled = true;
        if (type == "gAMA" && length == 4) linearGamma = readBigEndian32(bytes, data) == 100000;
        at = data + static_cast<std::size_t>(length) + 4;
    }
    return std::nullopt;
}

bool isRestartOrStuffing(std::uint8_t marker) { return marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7); }

// Walks a JPEG's segments and scans: complete when the end-of-image marker is reached. The decoder
// would fill a cut-off scan with grey and call it a picture.
bool jpegIsComplete(Bytes bytes) {
    std::size_t at = 2;
    const std::size_t size = bytes.size();
    while (at < size) {
        if (bytes[at] != 0xFF) return false;
        while (at < size && bytes[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return false;
        const std::uint8_t marker = bytes[at++];
        if (marker == 0xD9) return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length follows
        if (at + 2 > size) return false;
        const std::size_t length = (std::size_t{bytes[at]} << 8) | bytes[at + 1];
        if (length < 2 || length > size - at) return false;
        at += length;
        if (marker != 0xDA) continue;
        // Entropy-coded data runs to the next marker that is neither a stuffed 0xFF nor a restart.
        while (true) {
            if (at + 1 >= size) return false;
            if (bytes[at] == 0xFF && bytes[at + 1] != 0xFF && !isRestartOrStuffing(bytes[at + 1])) break;
            ++at;
        }
    }
    return false;
}

bool withinLimits(int width, int height, const ImageDecodingLimits& limits) {
    if (width <= 0 || height <= 0 || width > limits.maxDimension || height > limits.maxDimension) return false;
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= limits.maxPixelCount;
}

}  // namespace

std::optional<DecodedImage> decodeImage(Bytes bytes, const ImageDecodingLimits& limits) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    DecodedImage decoded;
    if (isPng(bytes)) {
        const auto colorSpace = pngColorSpaceIfComplete(bytes);
        if (!colorSpace) return std::nullopt;
        decoded.colorSpace = *colorSpace;
    } else if (!isJpeg(bytes) || !jpegIsComplete(bytes)) {
        return std::nullopt;
    }

    const auto length = static_cast<int>(bytes.size());
    int width = 0;
    int height = 0;
    int channels = 0;
    // The header alone first, so that an absurd size never reaches the allocator.
    if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0 ||
        !withinLimits(width, height, limits)) {
        return std::nullopt;
    }
    decoded.sourceBitsPerChannel = stbi_is_16_bit_from_memory(bytes.data(), length) != 0 ? 16 : 8;
    // Sixteen-bit channels are rounded to eight here; grey is spread over red, green and blue.
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, kChannels), stbi_image_free);
    if (!pixels || !withinLimits(width, height, limits)) return std::nullopt;
    decoded.sourceChannels = channels;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * kChannels;
    decoded.image =
        std::make_shared<UIImage>(width, height, std::vector<std::uint8_t>(pixels.get(), pixels.get() + size));
    return decoded;
}

}  // namespace vantrel
