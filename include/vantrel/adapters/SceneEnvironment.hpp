#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vantrel/core/Error.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"

namespace vantrel {

class SCNScene;
class SceneEntity;

/// The lighting of the canvas: which set of lights stands around the content, and the background.
/// Under each, the scene's lighting environment is a neutral studio made in code unless the
/// company's scene record brings its own.
/// Compared and hashed as an ordinary enumeration.
enum class SceneEnvironment {
    basicLight,  ///< Two omni lights on the diagonal through the content, no background colour.
    basicDark,   ///< The same lights before a light grey background.
    studio,      ///< Main, fill and two back lights facing the content, no background colour.
};

/// Every environment, in declaration order.
inline constexpr std::array<SceneEnvironment, 3> allSceneEnvironments{
    SceneEnvironment::basicLight, SceneEnvironment::basicDark, SceneEnvironment::studio};

/// The environment's display name: the localized text of "scene_environment_<case name>".
[[nodiscard]] std::string rawValue(SceneEnvironment environment);
/// The case name ("basicLight", "basicDark", "studio").
[[nodiscard]] std::string_view caseName(SceneEnvironment environment);
/// The environment whose case name is `rawValue` exactly; nothing for any other text (so a localized
/// name reads back only where its text equals the case name).
[[nodiscard]] std::optional<SceneEnvironment> sceneEnvironmentFromRawValue(std::string_view rawValue);

/// Receives the lighting property applied (none without a scene record) and an error, if any.
using LightingEnvironmentBlock = std::function<void(std::optional<SCNMaterialProperty> property, OptionalError error)>;

/// Gives `scene` the image-based lighting of a scene record: the record's environment property (its
/// sampling settings, and its texture fetched through the file cache, or failing that its colour) or,
/// when the record names none, the canvas's studio environment (a neutral grey room with soft boxes,
/// made in code) at its usual intensity.
/// The property is copied into the scene on the main queue (the scene is held weakly, so nothing
/// happens once it has gone), then `block` receives it. Without a record `block` receives nothing
/// and the scene is left alone. May be called from any thread.
void assignLightingEnvironment(const std::shared_ptr<SCNScene>& scene, const std::shared_ptr<SceneEntity>& record,
                               LightingEnvironmentBlock block);

}  // namespace vantrel

#pragma GCC visibility pop
