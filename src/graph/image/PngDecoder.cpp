#include "graph/image/ImageDecoders.hpp"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

// libpng reports errors by longjmp to the setjmp of the function that called it. The functions
// below that call setjmp hold no object with a destructor, and every C++ object (the reader, the
// pixel buffer) lives in their callers, so a jump skips no destructor; whatever libpng allocated
// is freed by the reader's destructor.

namespace vantrel::detail {
namespace {

constexpr int kChannels = 4;
// Ancillary chunks (text, profiles) never need more than this; libpng refuses bigger ones.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

// What the callbacks share with the code that started a read: plain data only.
struct PngInput {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    char message[160] = {};
};

void readInput(png_structp png, png_bytep out, png_size_t length) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (length > input->size - input->at) png_error(png, "the file is cut short");
    std::memcpy(out, input->data + input->at, length);
    input->at += length;
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* input = static_cast<PngInput*>(png_get_error_ptr(png));
    std::snprintf(input->message, sizeof input->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}  // ancillary trouble; the image itself is sound

// Owns libpng's read and info structures.
class PngReader {
public:
    explicit PngReader(PngInput& input)
        : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, onError, onWarning)) {
        if (png_ != nullptr) info_ = png_create_info_struct(png_);
    }
    ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    [[nodiscard]] bool valid() const noexcept { return png_ != nullptr && info_ != nullptr; }
    [[nodiscard]] png_structp png() const noexcept { return png_; }
    [[nodiscard]] png_infop info() const noexcept { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Reads the signature and every chunk up to the image data.
bool readHeader(png_structp png, png_infop info, PngInput& input) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &input, readInput);
    // Sizes are checked against the caller's limits once the header is read, before any row
    // buffer exists; libpng's own limit would only turn a large size into an invalid header.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);
    return true;
}

// Asks for RGBA with 8 bits per channel, whatever the file holds.
bool requestRgba8(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

// Reads the pixels into `rows`, then every chunk up to the end chunk: a file cut after its image
// data is refused as well.
bool readPixels(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

Error malformed(const PngInput& input) {
    return makeImageError(ImageDecodingErrorCode::malformed,
                          std::string("PNG: ") + (input.message[0] != '\0' ? input.message : "unreadable"));
}

Expected<ImageFileInfo> infoOf(const PngReader& reader, const ImageDecodingLimits& limits) {
    png_structp png = reader.png();
    png_infop info = reader.info();
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (auto tooLarge = sizeOutsideLimits("PNG", width, height, limits)) return *tooLarge;
    ImageFileInfo result;
    result.format = ImageFileFormat::png;
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    result.sourceBitsPerChannel = png_get_bit_depth(png, info) == 16 ? 16 : 8;
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const int colorType = png_get_color_type(png, info);
    result.sourceChannels = (colorType == PNG_COLOR_TYPE_PALETTE ? 3 : png_get_channels(png, info)) + (transparent ? 1 : 0);
    // sRGB or an ICC profile win; a gamma of exactly 1.0 means linear.
    const bool profiled = png_get_valid(png, info, PNG_INFO_sRGB) != 0 || png_get_valid(png, info, PNG_INFO_iCCP) != 0;
    png_fixed_point gamma = 0;
    const bool linear = png_get_gAMA_fixed(png, info, &gamma) != 0 && gamma == PNG_FP_1;
    result.colorSpace = linear && !profiled ? SCNColorSpace::linear : SCNColorSpace::sRGB;
    return result;
}


std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

// Reads the header; the error when that fails. The size in the header chunk, which must come
// first, is judged before libpng reads on through the chunks that precede the pixels.
std::optional<Error> startReading(const PngReader& reader, PngInput& input, const ImageDecodingLimits& limits) {
    if (input.size >= 24 && std::memcmp(input.data + 12, "IHDR", 4) == 0) {
        const std::uint32_t width = bigEndian32(input.data + 16);
        const std::uint32_t height = bigEndian32(input.data + 20);
        if (auto outside = sizeOutsideLimits("PNG", width, height, limits)) return outside;
    }
    if (!reader.valid()) return makeImageError(ImageDecodingErrorCode::malformed, "PNG: out of memory");
    if (readHeader(reader.png(), reader.info(), input)) return std::nullopt;
    return malformed(input);
}

}  // namespace

Expected<ImageFileInfo> readPngInfo(ImageBytes bytes, const ImageDecodingLimits& limits) {
    PngInput input{bytes.data(), bytes.size()};
    PngReader reader(input);
    if (auto failure = startReading(reader, input, limits)) return *failure;
    return infoOf(reader, limits);
}

Expected<DecodedImage> decodePng(ImageBytes bytes, const ImageDecodingLimits& limits) {
    PngInput input{bytes.data(), bytes.size()};
    PngReader reader(input);
    if (auto failure = startReading(reader, input, limits)) return *failure;
    auto info = infoOf(reader, limits);
    if (!info) return info.error();
    if (!requestRgba8(reader.png(), reader.info())) return malformed(input);
    const auto width = static_cast<std::size_t>(info->width);
    const auto height = static_cast<std::size_t>(info->height);
    if (png_get_rowbytes(reader.png(), reader.info()) != width * kChannels)
        return makeImageError(ImageDecodingErrorCode::malformed, "PNG: unexpected pixel layout");

    std::vector<std::uint8_t> pixels(width * height * kChannels);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * width * kChannels;
    if (!readPixels(reader.png(), reader.info(), rows.data())) return malformed(input);

    DecodedImage decoded;
    decoded.image = std::make_shared<UIImage>(info->width, info->height, std::move(pixels));
    decoded.colorSpace = info->colorSpace;
    decoded.sourceBitsPerChannel = info->sourceBitsPerChannel;
    decoded.sourceChannels = info->sourceChannels;
    return decoded;
}

}  // namespace vantrel::detail
