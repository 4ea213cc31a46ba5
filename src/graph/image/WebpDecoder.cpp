#include "graph/image/ImageDecoders.hpp"

#include <vector>

#include <webp/decode.h>

namespace vantrel::detail {
namespace {

constexpr int kChannels = 4;

const char* describe(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OK: return "no error";
        case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
        case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR: return "damaged data";
        case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
        case VP8_STATUS_SUSPENDED: return "suspended";
        case VP8_STATUS_USER_ABORT: return "aborted";
        case VP8_STATUS_NOT_ENOUGH_DATA: return "the file is cut short";
    }
    return "unreadable";
}

Error malformed(VP8StatusCode status) {
    return makeImageError(ImageDecodingErrorCode::malformed, std::string("WebP: ") + describe(status));
}

}  // namespace

Expected<ImageFileInfo> readWebpInfo(ImageBytes bytes, const ImageDecodingLimits& limits) {
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (status != VP8_STATUS_OK) return malformed(status);
    if (features.has_animation != 0)
        return makeImageError(ImageDecodingErrorCode::malformed, "WebP: animated images are not decoded");
    if (features.width <= 0 || features.height <= 0) return malformed(VP8_STATUS_BITSTREAM_ERROR);
    if (auto tooLarge = sizeOutsideLimits("WebP", static_cast<std::uint64_t>(features.width),
                                          static_cast<std::uint64_t>(features.height), limits)) {
        return *tooLarge;
    }
    ImageFileInfo info;
    info.format = ImageFileFormat::webp;
    info.width = features.width;
    info.height = features.height;
    info.sourceChannels = features.has_alpha != 0 ? 4 : 3;
    return info;
}

Expected<DecodedImage> decodeWebp(ImageBytes bytes, const ImageDecodingLimits& limits) {
    auto info = readWebpInfo(bytes, limits);
    if (!info) return info.error();
    const auto stride = static_cast<std::size_t>(info->width) * kChannels;
    std::vector<std::uint8_t> pixels(stride * static_cast<std::size_t>(info->height));
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) return malformed(VP8_STATUS_INVALID_PARAM);
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels.data();
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = pixels.size();
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);  // frees nothing of ours: the pixels are external memory
    if (status != VP8_STATUS_OK) return malformed(status);
    DecodedImage decoded;
    decoded.image = std::make_shared<UIImage>(info->width, info->height, std::move(pixels));
    decoded.sourceChannels = info->sourceChannels;
    return decoded;
}

}  // namespace vantrel::detail
