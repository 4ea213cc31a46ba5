#pragma once

// The import helper's work: Assimp reads one file and its scene goes out as the frames of the
// import stream (ImportWire.hpp). Built into the helper program; the benchmarks also run it in
// their own process to measure what the process hop costs.

#include "graph/import/ImportWire.hpp"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vantrel::detail {

struct AssimpImportRequest {
    std::filesystem::path file;
    /// The one format to read ("obj", "dae", "gltf", "glb"): Assimp's other readers are taken out,
    /// so a file is never handed to another reader because of what its first bytes look like.
    /// Empty: every reader of Assimp (the hostile-file tests run the sandbox on any format).
    std::string format;
    /// Meters per unit of the file: positions and translations are multiplied by it.
    double unitScale = 1.0;
};

/// Reads the file and hands each finished frame (without the stream header) to `sink`. Returns
/// `ok` after an `end` frame, `refused` after a `failure` frame.
wire::Exit importWithAssimp(const AssimpImportRequest& request, const std::function<void(std::string_view)>& sink);

}  // namespace vantrel::detail
