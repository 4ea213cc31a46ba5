#include "graph/image/ImageDecoders.hpp"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

// libjpeg reports errors through a callback that must not return; it jumps back to the setjmp of
// the function that called the library. Those functions hold no object with a destructor, and
// every C++ object (the reader, the pixel buffer) lives in their callers, so a jump skips no
// destructor; whatever libjpeg allocated is freed by the reader's destructor.

namespace vantrel::detail {
namespace {

constexpr int kChannels = 4;
// A progressive file may hold any number of scans, each a pass over the whole image; real ones
// have about ten.
constexpr int kMaxScans = 256;
// libjpeg's working memory (coefficients of progressive files, colour conversion) beyond the
// output; a 64-megapixel progressive colour image needs about 400 MB.
constexpr long kMaxWorkingMemory = 1L << 30;

// The error manager first, so that libjpeg's pointer to it is a pointer to the whole.
struct JpegErrors {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void onError(j_common_ptr common) {
    auto* errors = reinterpret_cast<JpegErrors*>(common->err);
    (*common->err->format_message)(common, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg carries on after corrupt data with a warning and makes up the missing pixels (grey for a
// cut-off scan); such a picture is no picture of the file, so a warning fails the decode.
void onMessage(j_common_ptr common, int level) {
    if (level < 0) onError(common);
}

void onProgress(j_common_ptr common) {
    if (common->is_decompressor == 0) return;
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(common);
    if (decompress->input_scan_number <= kMaxScans) return;
    auto* errors = reinterpret_cast<JpegErrors*>(common->err);
    std::snprintf(errors->message, sizeof errors->message, "more than %d scans", kMaxScans);
    std::longjmp(errors->jump, 1);
}

// Owns libjpeg's decompression structure.
struct JpegReader {
    JpegReader() {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = onError;
        errors.manager.emit_message = onMessage;
        progress.progress_monitor = onProgress;
    }
    // Safe also when creation failed half-way: libjpeg frees only what it allocated.
    ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    jpeg_decompress_struct cinfo{};
    JpegErrors errors;
    jpeg_progress_mgr progress{};
};

bool readHeader(JpegReader& reader, ImageBytes bytes) {
    if (setjmp(reader.errors.jump)) return false;
    jpeg_create_decompress(&reader.cinfo);
    reader.cinfo.progress = &reader.progress;  // creation clears it
    reader.cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
    jpeg_mem_src(&reader.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    return jpeg_read_header(&reader.cinfo, TRUE) == JPEG_HEADER_OK;
}

// Decodes into `out`, rows of `stride` bytes, then reads on to the end marker.
bool readPixels(JpegReader& reader, std::uint8_t* out, std::size_t stride) {
    if (setjmp(reader.errors.jump)) return false;
    jpeg_start_decompress(&reader.cinfo);
    if (reader.cinfo.output_components != kChannels || std::size_t{reader.cinfo.output_width} * kChannels != stride)
        return false;
    while (reader.cinfo.output_scanline < reader.cinfo.output_height) {
        JSAMPROW row = out + static_cast<std::size_t>(reader.cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&reader.cinfo, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(&reader.cinfo);
    return true;
}

Error malformed(const JpegReader& reader) {
    const char* message = reader.errors.message[0] != '\0' ? reader.errors.message : "unreadable";
    return makeImageError(ImageDecodingErrorCode::malformed, std::string("JPEG: ") + message);
}

bool isCmyk(const jpeg_decompress_struct& cinfo) {
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

Expected<ImageFileInfo> startReading(JpegReader& reader, ImageBytes bytes, const ImageDecodingLimits& limits) {
    if (!readHeader(reader, bytes)) return malformed(reader);
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    if (auto tooLarge = sizeOutsideLimits("JPEG", cinfo.image_width, cinfo.image_height, limits)) return *tooLarge;
    const bool supported = cinfo.jpeg_color_space == JCS_GRAYSCALE || cinfo.jpeg_color_space == JCS_YCbCr ||
                           cinfo.jpeg_color_space == JCS_RGB || isCmyk(cinfo);
    if (!supported) {
        return makeImageError(ImageDecodingErrorCode::malformed,
                              "JPEG: unsupported colour space with " + std::to_string(cinfo.num_components) +
                                  " components");
    }
    ImageFileInfo info;
    info.format = ImageFileFormat::jpeg;
    info.width = static_cast<int>(cinfo.image_width);
    info.height = static_cast<int>(cinfo.image_height);
    info.sourceChannels = cinfo.num_components;
    info.sourceBitsPerChannel = 8;
    return info;
}

// CMYK as stored by the usual writers (inverted, as Adobe's are) to RGBA, in place.
void cmykToRgba(std::vector<std::uint8_t>& pixels) {
    for (std::size_t i = 0; i + 3 < pixels.size(); i += kChannels) {
        const unsigned k = pixels[i + 3];
        for (std::size_t c = 0; c < 3; ++c) pixels[i + c] = static_cast<std::uint8_t>((pixels[i + c] * k + 127) / 255);
        pixels[i + 3] = 255;
    }
}

}  // namespace

Expected<ImageFileInfo> readJpegInfo(ImageBytes bytes, const ImageDecodingLimits& limits) {
    JpegReader reader;
    return startReading(reader, bytes, limits);
}

Expected<DecodedImage> decodeJpeg(ImageBytes bytes, const ImageDecodingLimits& limits) {
    JpegReader reader;
    auto info = startReading(reader, bytes, limits);
    if (!info) return info.error();
    const bool cmyk = isCmyk(reader.cinfo);
    reader.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    const auto stride = static_cast<std::size_t>(info->width) * kChannels;
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(info->height));
    if (!readPixels(reader, pixels.data(), stride)) return malformed(reader);
    if (cmyk) cmykToRgba(pixels);

    DecodedImage decoded;
    decoded.image = std::make_shared<UIImage>(info->width, info->height, std::move(pixels));
    decoded.sourceChannels = info->sourceChannels;
    return decoded;
}

}  // namespace vantrel::detail
