#pragma once

// The JSON of a recorded AR session (see ARReplaySession.hpp): anchors and frames both ways.

#include <filesystem>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "vantrel/adapters/ARAnchor.hpp"
#include "vantrel/adapters/ARFrame.hpp"
#include "vantrel/adapters/ARReplaySession.hpp"

namespace vantrel::detail {

inline constexpr const char* kSessionFormat = "vantrel-ar-session";
inline constexpr int kSessionFormatVersion = 1;
inline constexpr const char* kSessionFile = "session.json";

nlohmann::json anchorToJson(const ARAnchor& anchor);
/// The anchor of `json`; throws nlohmann::json::exception or std::invalid_argument when malformed.
std::shared_ptr<ARAnchor> anchorFromJson(const nlohmann::json& json);

/// A frame's camera, light estimate and feature points (not its picture or anchors).
nlohmann::json frameToJson(const ARFrame& frame);
/// The frame of `json` without its picture; throws as `anchorFromJson`, also for any number that is
/// not finite or outside its bounds (see ARReplaySession.hpp).
std::shared_ptr<ARFrame> frameFromJson(const nlohmann::json& json);

/// The file of the frame's picture in `directory`, empty when the frame has none. The file must lie
/// inside the directory and be a whole PNG or JPEG within the decoding limits whose size is the
/// camera's image resolution; std::invalid_argument otherwise. Only its header is kept in memory.
std::filesystem::path framePictureFromJson(const nlohmann::json& json, const ARFrame& frame,
                                           const std::filesystem::path& directory);

/// Every step of a recording's document (`session.json` parsed), pictures checked in `directory`
/// and left in their files; throws as the functions above, and when frame times go backwards.
std::vector<ARReplaySession::Step> stepsFromJson(const nlohmann::json& document,
                                                 const std::filesystem::path& directory);

}  // namespace vantrel::detail
