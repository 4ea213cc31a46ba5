#pragma once

// The reader of glTF 2 and GLB files: phase one of a scene source for them, made for the format
// rather than going through a general importer, so that every extension catalogue models carry
// reaches the graph and every size the file declares is checked before memory is taken.

#include "graph/import/ImportedScene.hpp"

#include <filesystem>

namespace vantrel::detail {

/// True when `file` is read by `readGltfScene` (by its extension: .gltf or .glb).
bool isGltfFile(const std::filesystem::path& file);

/// Reads `file` as SCNSceneSource::read does: nodes, geometry (hit testing prepared), materials,
/// decoded textures, cameras, lights and variants. Never throws: every failure is an Error of
/// SCNSceneSource's domain with a typed code, reported to `statusHandler` as well.
///
/// Lights (KHR_lights_punctual) keep the file's physical units in a form the graph's lights take:
/// the graph's intensity is 1000/π per candela (point and spot lights, which fall off with the
/// inverse square: SCNLight::attenuatesWithInverseSquare) or per lux (directional lights), since
/// the renderer's unit strength 1000 is what a physical light of π gives (a white matte surface
/// facing it comes out white); so `intensity × π / 1000` is the file's value. The range becomes the
/// attenuation end distance, where the fall-off is windowed to nothing (none when the file gives
/// none); spot cone half-angles become the full cone angles in degrees; colours are the file's
/// linear colours.
Expected<std::shared_ptr<SCNSceneSource::Prepared>> readGltfScene(const std::filesystem::path& file,
                                                                  const SCNSceneSourceOptions& options,
                                                                  const SCNSceneSource::StatusHandler& statusHandler);

}  // namespace vantrel::detail
