#include "vantrel/services/AppListItemService.hpp"

#include "services/CurrentCatalog.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

using services_detail::typed;
using services_detail::typedList;

AppListItemService::AppListItemService() { registerRecordClasses(); }

AppListItemService& AppListItemService::sharedInstance() {
    static auto* instance = new AppListItemService();
    return *instance;
}

void AppListItemService::obtainAppListItemById(const std::string& id, RecordResultBlock<AppListItemEntity> block) {
    services_detail::getObjectById(ParseQuery(AppListItemEntity::parseClassName()), id, typeName(),
                                   typed<AppListItemEntity>(std::move(block)));
}

void AppListItemService::obtainProductsOnlyByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                                            RecordsResultBlock<AppListItemEntity> block) {
    services_detail::withCurrentCatalog([offset, max, block](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
        if (!catalog) {
            if (block) block({}, std::move(error));
            return;
        }
        ParseQuery query(AppListItemEntity::parseClassName());
        query.whereEqualTo("catalog", ParseValue(catalog))
            .whereEqualTo("type", std::string(rawValue(AppListItemType::mainProduct)))
            .includeKey("component")
            .orderByAscending("parent")
            .addAscendingOrder("index");
        services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                        typedList<AppListItemEntity>(block));
    });
}

void AppListItemService::obtainAppListItemsByCurrentCatalog(const std::shared_ptr<AppListItemEntity>& parent,
                                                            std::optional<int> offset, std::optional<int> max,
                                                            RecordsResultBlock<AppListItemEntity> block) {
    services_detail::withCurrentCatalog([parent, offset, max, block](std::shared_ptr<CatalogEntity> catalog,
                                                                     OptionalError error) {
        if (!catalog) {
            if (block) block({}, std::move(error));
            return;
        }
        ParseQuery query(AppListItemEntity::parseClassName());
        query.whereEqualTo("catalog", ParseValue(catalog));
        if (parent) {
            // An entry never saved has no children to list; asking for "parent" equal to it would
            // match the top level instead.
            const auto pointer = services_detail::pointerTo(parent);
            if (!pointer) {
                if (block) block({}, std::nullopt);
                return;
            }
            query.whereEqualTo("parent", *pointer);
        } else {
            query.whereDoesNotExist("parent");
        }
        query.includeKey("component").orderByAscending("index");
        services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                        typedList<AppListItemEntity>(block));
    });
}

}  // namespace vantrel
