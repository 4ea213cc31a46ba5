// Image bytes from outside through the decoders: PNG, JPEG and WebP, and the refusal of the rest.

#include <cstdlib>

#include "vantrel/graph/ImageDecoding.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // Smaller than the library's limits, so that an iteration stays fast; the paths are the same.
    const vantrel::ImageDecodingLimits limits{.maxDimension = 4096, .maxPixelCount = std::uint64_t{1} << 22};
    const auto info = vantrel::readImageFileInfo(bytes, limits);
    const auto decoded = vantrel::decodeImageOrError(bytes, limits);
    if (!decoded) return 0;
    const auto& image = *decoded->image;
    if (image.width() <= 0 || image.height() <= 0 || image.width() > limits.maxDimension ||
        image.rgba().size() != static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()) * 4) {
        std::abort();
    }
    // A file that decodes has a header that reads, with the same size.
    if (info && (info->width != image.width() || info->height != image.height())) std::abort();
    return 0;
}
