#include "vantrel/graph/SCNLight.hpp"

namespace vantrel {

std::shared_ptr<SCNLight> SCNLight::make(SCNLightType type) {
    auto light = std::make_shared<SCNLight>();
    light->setType(type);
    return light;
}

}  // namespace vantrel
