#include "vantrel/adapters/SceneEnvironment.hpp"

#include <string>
#include <variant>

#include "StudioEnvironment.hpp"

#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNScene.hpp"

namespace vantrel {

std::string_view caseName(SceneEnvironment environment) {
    switch (environment) {
        case SceneEnvironment::basicLight: return "basicLight";
        case SceneEnvironment::basicDark: return "basicDark";
        case SceneEnvironment::studio: return "studio";
    }
    return "basicLight";
}

std::string rawValue(SceneEnvironment environment) {
    return Strings::localized("scene_environment_" + std::string(caseName(environment)));
}

std::optional<SceneEnvironment> sceneEnvironmentFromRawValue(std::string_view rawValue) {
    for (const auto environment : allSceneEnvironments) {
        if (caseName(environment) == rawValue) {
            return environment;
        }
    }
    return std::nullopt;
}

void assignLightingEnvironment(const std::shared_ptr<SCNScene>& scene, const std::shared_ptr<SceneEntity>& record,
                               LightingEnvironmentBlock block) {
    if (!record) {
        if (block) block(std::nullopt, std::nullopt);
        return;
    }
    std::weak_ptr<SCNScene> weakScene = scene;
    record->getScnLightingEnvironment([weakScene, block = std::move(block)](SCNMaterialProperty property) mutable {
        // The texture may arrive on the caller's thread (cached) or the main queue (downloaded): the
        // scene is touched on the main queue in either case.
        DispatchQueue::main().async([weakScene, property = std::move(property), block = std::move(block)]() mutable {
            if (std::holds_alternative<std::monostate>(property.contents())) {
                // No environment of the company's own: the canvas's studio lights the products.
                detail::useStudioEnvironment(property);
            }
            if (const auto shown = weakScene.lock()) {
                auto& target = shown->lightingEnvironment();
                target.setContents(property.contents());
                target.setIntensity(property.intensity());
                target.setMagnificationFilter(property.magnificationFilter());
                target.setMappingChannel(property.mappingChannel());
                target.setMaxAnisotropy(property.maxAnisotropy());
                target.setMinificationFilter(property.minificationFilter());
                target.setMipFilter(property.mipFilter());
                target.setWrapS(property.wrapS());
                target.setWrapT(property.wrapT());
            }
            if (block) block(property, std::nullopt);
        });
    });
}

}  // namespace vantrel
