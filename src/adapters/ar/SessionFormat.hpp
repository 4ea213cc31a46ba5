#pragma once

// The JSON of a recorded AR session (see ARReplaySession.hpp): anchors and frames both ways.

#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "vantrel/adapters/ARAnchor.hpp"
#include "vantrel/adapters/ARFrame.hpp"

namespace vantrel::detail {

inline constexpr const char* kSessionFormat = "vantrel-ar-session";
inline constexpr int kSessionFormatVersion = 1;
inline constexpr const char* kSessionFile = "session.json";

nlohmann::json anchorToJson(const ARAnchor& anchor);
/// The anchor of `json`; throws nlohmann::json::exception or std::invalid_argument when malformed.
std::shared_ptr<ARAnchor> anchorFromJson(const nlohmann::json& json);

/// A frame's camera, light estimate and feature points (not its picture or anchors).
nlohmann::json frameToJson(const ARFrame& frame);
/// The frame of `json`, its picture read from `directory`; throws as `anchorFromJson`, and
/// std::invalid_argument when the picture is missing or unreadable.
std::shared_ptr<ARFrame> frameFromJson(const nlohmann::json& json, const std::filesystem::path& directory);

}  // namespace vantrel::detail
