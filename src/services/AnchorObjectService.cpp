#include "vantrel/services/AnchorObjectService.hpp"

#include "services/CurrentCatalog.hpp"
#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

using services_detail::typed;
using services_detail::typedList;

AnchorObjectService::AnchorObjectService()
    : CatalogChangeSubscriber("AnchorObjects", AnchorObjectEntity::parseClassName()) {
    registerRecordClasses();
}

AnchorObjectService& AnchorObjectService::sharedInstance() {
    static auto* instance = new AnchorObjectService();
    return *instance;
}

void AnchorObjectService::obtainAnchorObjectById(const std::string& id, RecordResultBlock<AnchorObjectEntity> block) {
    services_detail::getObjectById(ParseQuery(AnchorObjectEntity::parseClassName()), id, typeName(),
                                   typed<AnchorObjectEntity>(std::move(block)));
}

void AnchorObjectService::obtainAllAnchorObjectsByIds(const std::vector<std::string>& ids, std::optional<int> offset,
                                                      std::optional<int> max,
                                                      RecordsResultBlock<AnchorObjectEntity> block) {
    ParseQuery query(AnchorObjectEntity::parseClassName());
    query.whereContainedIn("objectId", services_detail::idValues(ids));
    services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                    typedList<AnchorObjectEntity>(std::move(block)));
}

void AnchorObjectService::obtainAllAnchorObjectsByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                                                 RecordsResultBlock<AnchorObjectEntity> block) {
    services_detail::withCurrentCatalog(
        [offset, max, block](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
            if (!catalog) {
                if (block) block({}, std::move(error));
                return;
            }
            AnchorObjectService::sharedInstance().obtainAllAnchorObjectsByCatalog(catalog, offset, max, block);
        });
}

void AnchorObjectService::obtainAllAnchorObjectsByCatalog(const std::shared_ptr<CatalogEntity>& catalog,
                                                          std::optional<int> offset, std::optional<int> max,
                                                          RecordsResultBlock<AnchorObjectEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block({}, std::nullopt);
        return;
    }
    ParseQuery query(AnchorObjectEntity::parseClassName());
    query.whereEqualTo("catalog", *pointer);
    services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                    typedList<AnchorObjectEntity>(std::move(block)));
}

// ---- live changes -------------------------------------------------------------------------------

void AnchorObjectService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                                const std::shared_ptr<CatalogEntity>& catalog) {
    services_detail::configurePlainChangeFeed(
        subscription, label(), catalog,
        {VantrelSDK::anchorObjectCreatedNotification, VantrelSDK::anchorObjectUpdatedNotification,
         VantrelSDK::anchorObjectDeletedNotification},
        services_detail::cachedFileKeysOf, services_detail::recordObject<AnchorObjectEntity>,
        {"thumbnailFilePath", "scnModelFilePath", "scnModelAssetFilePaths"});
}

}  // namespace vantrel
