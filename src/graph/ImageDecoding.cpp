#include "vantrel/graph/ImageDecoding.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

#include "graph/image/ImageDecoders.hpp"

namespace vantrel {
namespace {

using Bytes = std::span<const std::uint8_t>;
using detail::makeImageError;

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool startsWith(Bytes bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                      [](char expected, std::uint8_t byte) { return static_cast<std::uint8_t>(expected) == byte; });
}

std::optional<ImageFileFormat> formatOf(Bytes bytes) {
    if (bytes.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin()))
        return ImageFileFormat::png;
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return ImageFileFormat::jpeg;
    if (bytes.size() >= 12 && startsWith(bytes, "RIFF") && startsWith(bytes.subspan(8), "WEBP"))
        return ImageFileFormat::webp;
    return std::nullopt;
}

// Names the formats that are recognised but never decoded, for a message that says what the file is.
std::string refusedFormatName(Bytes bytes) {
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return "GIF";
    if (startsWith(bytes, "8BPS")) return "PSD";
    if (startsWith(bytes, "#?RADIANCE") || startsWith(bytes, "#?RGBE")) return "Radiance HDR";
    if (startsWith(bytes, "BM")) return "BMP";
    if (startsWith(bytes, "\x53\x80\xF6\x34")) return "PIC";
    if (bytes.size() >= 3 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7' && std::isspace(bytes[2]) != 0)
        return "PNM";
    return {};
}

Error unsupported(Bytes bytes) {
    const std::string name = refusedFormatName(bytes);
    return makeImageError(ImageDecodingErrorCode::unsupportedFormat,
                          (name.empty() ? std::string("not an image") : name + " images are not decoded") +
                              ": only PNG, JPEG and WebP are");
}

std::uint32_t readBigEndian32(Bytes bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

// Walks a PNG's chunks: complete when every chunk fits and IEND is reached.
bool pngIsComplete(Bytes bytes) {
    std::size_t at = kPngSignature.size();
    while (at + 12 <= bytes.size()) {
        const std::uint64_t length = readBigEndian32(bytes, at);
        const std::string_view type(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
        if (length > bytes.size() - at - 12) return false;
        if (type == "IEND") return true;
        at += 12 + static_cast<std::size_t>(length);
    }
    return false;
}

bool isRestartOrStuffing(std::uint8_t marker) { return marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7); }

// Walks a JPEG's segments and scans: complete when the end-of-image marker is reached.
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

// A WebP is whole when its container holds every byte its header announces.
bool webpIsComplete(Bytes bytes) {
    const std::uint64_t riffSize = std::uint64_t{bytes[4]} | (std::uint64_t{bytes[5]} << 8) |
                                   (std::uint64_t{bytes[6]} << 16) | (std::uint64_t{bytes[7]} << 24);
    return riffSize + 8 <= bytes.size();
}

std::optional<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
    return bytes;
}

Error unreadable(const std::filesystem::path& path) {
    return makeImageError(ImageDecodingErrorCode::unreadable, "cannot read " + path.string());
}

}  // namespace

namespace detail {

Error makeImageError(ImageDecodingErrorCode code, std::string message) {
    return Error(kImageDecodingErrorDomain, static_cast<long>(code), std::move(message));
}

std::optional<Error> sizeOutsideLimits(const char* format, std::uint64_t width, std::uint64_t height,
                                       const ImageDecodingLimits& limits) {
    const auto maxDimension = static_cast<std::uint64_t>(std::max(limits.maxDimension, 0));
    if (width == 0 || height == 0)
        return makeImageError(ImageDecodingErrorCode::malformed, std::string(format) + ": the image has no pixels");
    if (width > maxDimension || height > maxDimension || width * height > limits.maxPixelCount) {
        return makeImageError(ImageDecodingErrorCode::tooLarge,
                              std::string(format) + ": " + std::to_string(width) + " x " + std::to_string(height) +
                                  " pixels is beyond the limit of " + std::to_string(limits.maxDimension) +
                                  " pixels a side and " + std::to_string(limits.maxPixelCount) + " pixels");
    }
    return std::nullopt;
}

}  // namespace detail

Expected<DecodedImage> decodeImageOrError(Bytes bytes, const ImageDecodingLimits& limits) {
    const auto format = formatOf(bytes);
    if (!format) return unsupported(bytes);
    switch (*format) {
        case ImageFileFormat::png: return detail::decodePng(bytes, limits);
        case ImageFileFormat::jpeg: return detail::decodeJpeg(bytes, limits);
        case ImageFileFormat::webp: return detail::decodeWebp(bytes, limits);
    }
    return unsupported(bytes);
}

std::optional<DecodedImage> decodeImage(Bytes bytes, const ImageDecodingLimits& limits) {
    auto decoded = decodeImageOrError(bytes, limits);
    if (!decoded) return std::nullopt;
    return std::move(decoded).value();
}

Expected<ImageFileInfo> readImageFileInfo(Bytes bytes, const ImageDecodingLimits& limits) {
    const auto format = formatOf(bytes);
    if (!format) return unsupported(bytes);
    const auto cutShort = [](const char* name) {
        return makeImageError(ImageDecodingErrorCode::malformed, std::string(name) + ": the file is cut short");
    };
    switch (*format) {
        case ImageFileFormat::png:
            if (!pngIsComplete(bytes)) return cutShort("PNG");
            return detail::readPngInfo(bytes, limits);
        case ImageFileFormat::jpeg:
            if (!jpegIsComplete(bytes)) return cutShort("JPEG");
            return detail::readJpegInfo(bytes, limits);
        case ImageFileFormat::webp:
            if (!webpIsComplete(bytes)) return cutShort("WebP");
            return detail::readWebpInfo(bytes, limits);
    }
    return unsupported(bytes);
}

Expected<DecodedImage> decodeImageFile(const std::filesystem::path& path, const ImageDecodingLimits& limits) {
    const auto bytes = readFile(path);
    if (!bytes) return unreadable(path);
    return decodeImageOrError(*bytes, limits);
}

Expected<ImageFileInfo> readImageFileInfo(const std::filesystem::path& path, const ImageDecodingLimits& limits) {
    const auto bytes = readFile(path);
    if (!bytes) return unreadable(path);
    return readImageFileInfo(*bytes, limits);
}

}  // namespace vantrel
