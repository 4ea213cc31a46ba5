// The manifest (metadata.json) of a model archive from outside.

#include <cstdlib>
#include <string_view>

#include "services/ModelManifest.hpp"
#include "vantrel/files/ZipArchive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto manifest = vantrel::detail::parseModelManifest(text, "metadata.json");
    if (!manifest) return 0;
    // Whatever is accepted stays inside the archive's directory.
    if (!vantrel::ZipArchive::isSafeEntryName(manifest->model)) std::abort();
    for (const auto& asset : manifest->assets) {
        if (!vantrel::ZipArchive::isSafeEntryName(asset)) std::abort();
    }
    return 0;
}
