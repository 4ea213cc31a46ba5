#include "services/ModelManifest.hpp"

#include <nlohmann/json.hpp>

#include "vantrel/files/ZipArchive.hpp"

namespace vantrel::detail {
namespace {

Error jsonError(const std::string& what) {
    return Error("NSCocoaErrorDomain", 3840,
                 "The data couldn't be read because it isn't in the correct format. " + what);
}

}  // namespace

Expected<ModelManifest> parseModelManifest(std::string_view text, const std::string& manifestKey) {
    auto manifest = nlohmann::json::parse(text, nullptr, false);
    if (manifest.is_discarded()) return jsonError("(" + manifestKey + ")");
    if (!manifest.is_object()) manifest = nlohmann::json::object();
    const auto model = manifest.find("model");
    if (model == manifest.end() || !model->is_string()) {
        return TextError("Unable to load 3D model due no 'model' field in metadata.json");
    }
    ModelManifest result;
    result.model = model->get<std::string>();
    // Names from the archive stay inside its directory, as its entries do.
    if (!ZipArchive::isSafeEntryName(result.model)) {
        return jsonError("(" + manifestKey + ": the model file '" + result.model + "' is outside the archive)");
    }
    if (const auto list = manifest.find("assets"); list != manifest.end() && list->is_array()) {
        for (const auto& asset : *list) {
            if (!asset.is_string() || !ZipArchive::isSafeEntryName(asset.get<std::string>())) {
                result.assets.clear();
                break;
            }
            result.assets.push_back(asset.get<std::string>());
        }
    }
    return result;
}

}  // namespace vantrel::detail
