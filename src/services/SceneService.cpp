#include "vantrel/services/SceneService.hpp"

#include "services/CurrentCatalog.hpp"
#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

using services_detail::typed;
using services_detail::typedList;

SceneService::SceneService() : CatalogChangeSubscriber("Scenes", SceneEntity::parseClassName()) {
    registerRecordClasses();
}

SceneService& SceneService::sharedInstance() {
    static auto* instance = new SceneService();
    return *instance;
}

void SceneService::obtainSceneById(const std::string& id, RecordResultBlock<SceneEntity> block) {
    services_detail::getObjectById(ParseQuery(SceneEntity::parseClassName()), id, typeName(),
                                   typed<SceneEntity>(std::move(block)));
}

void SceneService::obtainSceneByCurrentCatalog(RecordResultBlock<SceneEntity> block) {
    services_detail::withCurrentCatalog([block](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
        if (!catalog) {
            if (block) block(nullptr, std::move(error));
            return;
        }
        SceneService::sharedInstance().obtainSceneByCatalog(catalog, block);
    });
}

void SceneService::obtainSceneByCatalog(const std::shared_ptr<CatalogEntity>& catalog,
                                        RecordResultBlock<SceneEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block(nullptr, std::nullopt);
        return;
    }
    ParseQuery query(SceneEntity::parseClassName());
    query.whereEqualTo("catalog", *pointer);
    services_detail::getFirstObject(std::move(query), typeName(), typed<SceneEntity>(std::move(block)));
}

void SceneService::obtainAllScenesByCatalog(const std::shared_ptr<CatalogEntity>& catalog, std::optional<int> offset,
                                            std::optional<int> max, RecordsResultBlock<SceneEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block({}, std::nullopt);
        return;
    }
    ParseQuery query(SceneEntity::parseClassName());
    query.whereEqualTo("catalog", *pointer);
    services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                    typedList<SceneEntity>(std::move(block)));
}

// ---- live changes -------------------------------------------------------------------------------

void SceneService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                         const std::shared_ptr<CatalogEntity>& catalog) {
    services_detail::configurePlainChangeFeed(
        subscription, label(), catalog,
        {VantrelSDK::sceneCreatedNotification, VantrelSDK::sceneUpdatedNotification,
         VantrelSDK::sceneDeletedNotification},
        services_detail::textureFileKeysOf<SceneEntity>, services_detail::recordObject<SceneEntity>,
        {"lightingEnvironment"});
}

}  // namespace vantrel
