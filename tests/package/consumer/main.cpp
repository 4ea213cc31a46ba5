#include <vantrel/vantrel.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>

int main() {
    // The installed library finds its own bundle, wherever the prefix is; reading it proves it.
    const auto& bundle = vantrel::VantrelSDK::sdkBundle();
    if (!bundle || !bundle->infoDictionary()) return 1;
    // It finds its import helper the same way: an OBJ file is read through it.
    const auto model = std::filesystem::temp_directory_path() / ("vantrel-consumer-" + std::to_string(::getpid()) + ".obj");
    std::ofstream(model) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const auto prepared = vantrel::SCNSceneSource::make(model)->read();
    std::filesystem::remove(model);
    if (!prepared) {
        std::cout << "import failed: " << prepared.error().message << "\n";
        return 2;
    }
    std::cout << "vantrel consumer ok " << vantrel::VantrelSDK::isRootGroup("/")
              << "\nbundle=" << bundle->directory().string() << "\n";
    return 0;
}
