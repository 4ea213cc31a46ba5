// Viewer scripts from outside: read and played against a host that does nothing.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "viewer/ViewerScript.hpp"

namespace {

struct IdleHost final : viewer::ScriptHost {
    std::optional<vantrel::CGPoint> resolve(const std::string& name) override {
        if (name.size() % 2 == 0) return vantrel::CGPoint(1, 2);
        return std::nullopt;
    }
    void button(int, bool, vantrel::CGPoint) override {}
    void moved(vantrel::CGPoint) override {}
    void wheel(double, vantrel::CGPoint) override {}
    void key(char) override {}
    void pass(std::chrono::milliseconds) override {}
    bool screenshot(const std::filesystem::path&) override { return true; }
    void print() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto file =
        std::filesystem::temp_directory_path() / ("vantrel-fuzz-script-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::vector<viewer::ScriptStep> steps;
    if (viewer::readScript(file, steps)) return 0;
    IdleHost host;
    (void)viewer::playScript(steps, host);
    return 0;
}
