#pragma once

// Runs the import helper program on one file and reads its answer, so that Assimp never runs in
// the host's process: a crash, an endless loop or a memory bomb in it ends the helper, and the
// read ends with a typed error.

#include "graph/import/ImportWire.hpp"
#include "vantrel/core/Error.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace vantrel::detail {

/// What one run of the helper may take.
struct ImportLimits {
    /// Address space of the helper (RLIMIT_AS): its allocations beyond it fail.
    std::uint64_t memoryBytes = std::uint64_t{2} << 30;
    /// Processor time of the helper (RLIMIT_CPU), whole seconds.
    std::chrono::seconds cpuTime{30};
    /// Time on the library's clock from start to the last byte; the helper is killed after it.
    std::chrono::milliseconds wallTime{60'000};
    /// Bytes of answer the library takes in before it gives up on the helper.
    std::uint64_t answerBytes = wire::kMaxFrameBytes;
};

struct ImportRequest {
    std::filesystem::path file;
    /// The format the helper reads the file as ("obj", "dae", "gltf", "glb"); empty lets Assimp
    /// pick any of its readers (only the hostile-file tests do that).
    std::string format;
    double unitScale = 1.0;
    ImportLimits limits{};
    /// The helper program; empty: `importHelperPath()`.
    std::filesystem::path helper{};
};

/// One frame of the answer; the payload lives until the callback returns.
struct ImportFrame {
    wire::Frame type;
    std::span<const std::uint8_t> payload;
};

/// The helper program: $VANTREL_IMPORT_HELPER when set, else the one installed with the library
/// (or built beside it); nullopt when there is none.
std::optional<std::filesystem::path> importHelperPath();

/// Starts the helper on `request.file` and hands each frame of its answer to `onFrame`, whose
/// error ends the run. `shouldStop` is asked every 20 ms while the helper runs; true kills the helper and ends the run `cancelled`. Returns nullopt when the
/// answer ended with its `end` frame and the helper exited cleanly, else the error (domain
/// SCNSceneSource): `invalidScene` with the helper's reason when it refused the file,
/// `importerFailed`, `importerTimedOut`, `importerOutOfMemory` or `cancelled`. The helper is reaped
/// before this returns, whatever happened. Any thread.
std::optional<Error> runImportHelper(const ImportRequest& request,
                                     const std::function<std::optional<Error>(const ImportFrame&)>& onFrame,
                                     const std::function<bool()>& shouldStop);

/// Cuts a whole answer held in memory (header and frames) into frames for `onFrame`, within
/// `budget` bytes, as `runImportHelper` does with the helper's output.
std::optional<Error> readImportAnswer(std::span<const std::uint8_t> answer, std::uint64_t budget,
                                      const std::function<std::optional<Error>(const ImportFrame&)>& onFrame);

}  // namespace vantrel::detail
