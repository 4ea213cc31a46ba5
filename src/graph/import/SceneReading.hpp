#pragma once

#include "graph/import/ImportProcess.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <functional>
#include <optional>
#include <string>

namespace vantrel::detail {

/// Runs an import and hands each frame of its answer on, as `runImportHelper` does.
using ImportAnswerSource = std::function<std::optional<Error>(
    const ImportRequest&, const std::function<std::optional<Error>(const ImportFrame&)>&, const std::function<bool()>&)>;

/// The format `file` is read as ("obj", "dae", "gltf", "glb", from its extension in any case), or
/// nullopt for a format the scene source refuses.
std::optional<std::string> importFormatOf(const std::filesystem::path& file);

/// `SCNSceneSource::read` with the answer coming from `answer`: the helper process for the
/// library, the same work in this process for the benchmark that measures the hop.
Expected<std::shared_ptr<SCNSceneSource::Prepared>> readScene(const SCNSceneSource& source,
                                                              const SCNSceneSource::StatusHandler& statusHandler,
                                                              const ImportAnswerSource& answer);

}  // namespace vantrel::detail
