#pragma once

// The glow highlight's technique, shared by the canvas and the AR adapter.

#include <fstream>

#include <nlohmann/json.hpp>

#include "vantrel/core/ResourceBundle.hpp"

namespace vantrel::detail {

/// The glow technique's dictionary, read once from the resource bundle (empty when it is missing).
inline const nlohmann::json& glowDictionary() {
    static const nlohmann::json dictionary = [] {
        const auto bundle = ResourceBundle::locate();
        if (!bundle) return nlohmann::json();
        std::ifstream in(bundle->path("shaders/glow.json"));
        auto parsed = nlohmann::json::parse(in, nullptr, false);
        return parsed.is_discarded() ? nlohmann::json() : parsed;
    }();
    return dictionary;
}

}  // namespace vantrel::detail
