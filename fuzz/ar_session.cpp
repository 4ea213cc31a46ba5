// Recorded AR sessions from outside: session.json read into steps (pictures are checked in a
// directory holding one good frame picture, "frame.png").

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "adapters/ar/SessionFormat.hpp"

namespace {

// A 1×1 grey PNG.
constexpr unsigned char kFrame[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3A, 0x7E, 0x9B, 0x55, 0x00, 0x00, 0x00,
    0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x68, 0x00, 0x00, 0x00, 0x82, 0x00, 0x81, 0x77, 0xCD, 0x72,
    0xB6, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

const std::filesystem::path& recording() {
    static const std::filesystem::path directory = [] {
        auto path = std::filesystem::temp_directory_path() / ("vantrel-fuzz-ar-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::ofstream(path / "frame.png", std::ios::binary).write(reinterpret_cast<const char*>(kFrame), sizeof kFrame);
        return path;
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto document = nlohmann::json::parse(data, data + size, nullptr, false);
    if (document.is_discarded()) return 0;
    try {
        const auto steps = vantrel::detail::stepsFromJson(document, recording());
        for (const auto& step : steps) (void)vantrel::detail::frameToJson(*step.frame);
    } catch (const std::exception&) {
        // Refused: what a malformed recording must do.
    }
    return 0;
}
