#pragma once

// glTF files made in tests: a throw-away folder, a small valid triangle model to mutate, GLB
// containers with any chunk lengths and base64 data URIs.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

namespace vantrel::test {

/// A folder of its own below the system's temporary directory, removed with the object.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    /// Writes `bytes` to `name` inside the folder (creating sub-folders) and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path path_;
};

/// Appends `value` as `count` little-endian bytes.
void appendLittleEndian(std::string& out, std::uint64_t value, int count);
/// Appends a float's bytes.
void appendFloat(std::string& out, float value);

/// Standard base64 of `bytes`.
std::string base64(const std::string& bytes);

/// A GLB container: header, JSON chunk (padded with spaces) and, when `binary` is not empty, a BIN
/// chunk (padded with zeros); the lengths written are the true ones.
std::string glbOf(const nlohmann::json& document, const std::string& binary = {});

/// A valid glTF document with one node showing one triangle (positions in buffer 0, 36 bytes,
/// indices 0 1 2 after them as 16-bit numbers), the buffer given as `bufferUri`.
nlohmann::json triangleDocument(const std::string& bufferUri);
/// The 44 bytes of the triangle's buffer: three positions (0,0,0) (1,0,0) (0,1,0), then indices.
std::string triangleBuffer();

/// Reads `file` with `options` and returns the result.
Expected<std::shared_ptr<SCNSceneSource::Prepared>> readScene(const std::filesystem::path& file,
                                                              const SCNSceneSourceOptions& options = {},
                                                              const SCNSceneSource::StatusHandler& handler = {});

}  // namespace vantrel::test
