#include "vantrel/services/AppListItemService.hpp"

#include "services/CurrentCatalog.hpp"
#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

using services_detail::typed;
using services_detail::typedList;

AppListItemService::AppListItemService()
    : CatalogChangeSubscriber("AppListItems", AppListItemEntity::parseClassName()) {
    registerRecordClasses();
}

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
    services_detail::withCurrentCatalog([offset, max, block](std::shared_ptr<CatalogEntity> catalog,
                                                             OptionalError error) {
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
        services_detail::findAllObjects(std::move(query), offset, max, typeName(), typedList<AppListItemEntity>(block));
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
        services_detail::findAllObjects(std::move(query), offset, max, typeName(), typedList<AppListItemEntity>(block));
    });
}

// ---- live changes -------------------------------------------------------------------------------

namespace {

// Announces an entry with its component read in full: events carry the component as a bare
// pointer, and a host listing products needs its name and thumbnail.
void announceWithComponent(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog,
                           const char* notification) {
    if (!services_detail::belongsToCatalog(record, catalog)) return;
    auto item = std::dynamic_pointer_cast<AppListItemEntity>(record);
    if (!item || item->isInDraft()) return;
    auto announce = [item, notification] {
        ParseQuery::clearAllCachedResults();
        NotificationCenter::defaultCenter().post(notification, item);  // as AppListItemEntity
    };
    const auto component = item->component();
    if (!component) return announce();
    // The component's answer comes on another thread; the announcement still keeps the feed's order
    // and ends with the subscription.
    component->fetchIfNeededInBackground([item, component, announce, later = services_detail::announceLater()](
                                             std::shared_ptr<ParseObject> fetched, OptionalError error) {
        services_detail::processResult(
            std::move(fetched), std::move(error),
            [item, component](std::shared_ptr<ParseObject> object, OptionalError failure) {
                if (failure) {
                    VLOG_ERROR("[AppListItemService.subscriptionProcessOnUpdate] Unable to fetch component[" +
                               component->objectId().value_or("") + "] due error: " + failure->localizedDescription());
                }
                item->setComponent(failure ? nullptr : std::dynamic_pointer_cast<ComponentEntity>(object));
            });
        later(announce);
    });
}

}  // namespace

void AppListItemService::subscriptionProcessOnCreate(const std::shared_ptr<ParseObject>& record,
                                                     const std::shared_ptr<CatalogEntity>& catalog) {
    announceWithComponent(record, catalog, VantrelSDK::appListItemCreatedNotification);
}

void AppListItemService::subscriptionProcessOnUpdate(const std::shared_ptr<ParseObject>& record,
                                                     const std::shared_ptr<CatalogEntity>& catalog) {
    announceWithComponent(record, catalog, VantrelSDK::appListItemUpdatedNotification);
}

std::optional<ParseQuery> AppListItemService::makeSubscriptionQuery(
    const std::shared_ptr<CatalogEntity>& catalog) const {
    auto query = CatalogChangeSubscriber::makeSubscriptionQuery(catalog);
    if (query) query->includeKey("component").orderByAscending("parent").addAscendingOrder("index");
    return query;
}

void AppListItemService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                               const std::shared_ptr<CatalogEntity>& catalog) {
    if (!subscription) return;
    services_detail::ChangeHandlers handlers{
        [catalog](const std::shared_ptr<ParseObject>& record) {
            AppListItemService::sharedInstance().subscriptionProcessOnCreate(record, catalog);
        },
        [catalog](const std::shared_ptr<ParseObject>& record) {
            AppListItemService::sharedInstance().subscriptionProcessOnUpdate(record, catalog);
        },
        [catalog](const std::shared_ptr<ParseObject>& record) {
            services_detail::announceDeletion(
                record, catalog, record ? services_detail::cachedFileKeysOf(*record) : std::vector<std::string>{},
                VantrelSDK::appListItemDeletedNotification, services_detail::recordObject<AppListItemEntity>);
        },
    };
    services_detail::configureChangeFeed(subscription, label(), std::move(handlers),
                                         {subscription->query(), catalog, {"type", "imagePath"}});
}

}  // namespace vantrel
