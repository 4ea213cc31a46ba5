#pragma once

#include <memory>

namespace vantrel {
class SCNMaterialProperty;
class UIImage;
}  // namespace vantrel

namespace vantrel::detail {

/// Width of the studio environment image (its height is half of it).
constexpr int kStudioEnvironmentWidth = 256;
/// The intensity the studio environment is shown with beside the lights of every canvas environment.
constexpr double kStudioEnvironmentIntensity = 1.0;

/// A neutral photo studio as an equirectangular float image of linear light, made in code: a grey
/// room brighter towards the ceiling with a darker floor, a large soft box overhead, a key box to the
/// front left, a fill box to the right and a rim box behind. Lights a product from every side
/// without tinting it, and gives glossy materials soft reflections to show their shape.
[[nodiscard]] std::shared_ptr<UIImage> makeStudioEnvironment();

/// Makes `property` the studio environment (a new image, `kStudioEnvironmentIntensity`).
void useStudioEnvironment(SCNMaterialProperty& property);

}  // namespace vantrel::detail
