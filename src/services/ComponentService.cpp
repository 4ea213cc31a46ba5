#include "vantrel/services/ComponentService.hpp"

#include "services/CurrentCatalog.hpp"
#include "services/ProductUrl.hpp"
#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AuthService.hpp"

#include <algorithm>
#include <cctype>

namespace vantrel {

using services_detail::findAllObjects;
using services_detail::getFirstObject;
using services_detail::typed;
using services_detail::typedList;

namespace {

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0; });
}

ParseQuery componentQuery() {
    ParseQuery query(ComponentEntity::parseClassName());
    query.includeKey("parent");
    return query;
}

// The query of the component's variants; none when the component cannot have any (never saved).
std::optional<ParseQuery> variancesQuery(const std::shared_ptr<ComponentEntity>& component) {
    if (!component || !component->objectId()) return std::nullopt;
    auto relation = component->variancesRelation();
    // A component read without its relation's description still relates components only.
    ParseQuery query = relation.targetClassName().empty()
                           ? ParseQuery(ComponentEntity::parseClassName()).whereRelatedTo(component, "variances")
                           : relation.query();
    query.includeKey("parent");
    return query;
}

}  // namespace

ComponentService::ComponentService() : CatalogChangeSubscriber("Components", ComponentEntity::parseClassName()) {
    registerRecordClasses();
}

ComponentService& ComponentService::sharedInstance() {
    static auto* instance = new ComponentService();
    return *instance;
}

void ComponentService::obtainComponentById(const std::string& id, RecordResultBlock<ComponentEntity> block) {
    services_detail::getObjectById(ParseQuery(ComponentEntity::parseClassName()), id, typeName(),
                                   typed<ComponentEntity>(std::move(block)));
}

void ComponentService::obtainAllComponentsByIds(const std::vector<std::string>& ids, std::optional<int> offset,
                                                std::optional<int> max, RecordsResultBlock<ComponentEntity> block) {
    auto query = componentQuery();
    query.whereContainedIn("objectId", services_detail::idValues(ids));
    findAllObjects(std::move(query), offset, max, typeName(), typedList<ComponentEntity>(std::move(block)));
}

void ComponentService::obtainAllComponentsByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                                           RecordsResultBlock<ComponentEntity> block) {
    services_detail::withCurrentCatalog(
        [offset, max, block](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
            if (!catalog) {
                if (block) block({}, std::move(error));
                return;
            }
            ComponentService::sharedInstance().obtainAllComponentsByCatalog(catalog, offset, max, block);
        });
}

void ComponentService::obtainAllComponentsByCatalog(const std::shared_ptr<CatalogEntity>& catalog,
                                                    std::optional<int> offset, std::optional<int> max,
                                                    RecordsResultBlock<ComponentEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block({}, std::nullopt);
        return;
    }
    auto query = componentQuery();
    query.whereEqualTo("catalog", *pointer);
    findAllObjects(std::move(query), offset, max, typeName(), typedList<ComponentEntity>(std::move(block)));
}

void ComponentService::obtainComponentByCurrentCatalogAndProductNr(const std::string& productNr,
                                                                   RecordResultBlock<ComponentEntity> block) {
    services_detail::withCurrentCatalog(
        [productNr, block](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
            if (!catalog) {
                if (block) block(nullptr, std::move(error));
                return;
            }
            ComponentService::sharedInstance().obtainComponentByCatalogAndProductNr(catalog, productNr, block);
        });
}

void ComponentService::obtainComponentByCatalogAndProductNr(const std::shared_ptr<CatalogEntity>& catalog,
                                                            const std::string& productNr,
                                                            RecordResultBlock<ComponentEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block(nullptr, std::nullopt);
        return;
    }
    auto query = componentQuery();
    query.whereEqualTo("catalog", *pointer).whereEqualTo("productNumber", productNr);
    getFirstObject(std::move(query), typeName(), typed<ComponentEntity>(std::move(block)));
}

void ComponentService::obtainAllVariancesByComponent(const std::shared_ptr<ComponentEntity>& component,
                                                     std::optional<int> offset, std::optional<int> max,
                                                     RecordsResultBlock<ComponentEntity> block) {
    auto query = variancesQuery(component);
    if (!query) {
        if (block) block({}, TextError("common_internal_error"));
        return;
    }
    findAllObjects(std::move(*query), offset, max, typeName(), typedList<ComponentEntity>(std::move(block)));
}

void ComponentService::countVariancesByComponent(const std::shared_ptr<ComponentEntity>& component,
                                                 CountResultBlock block) {
    if (!block) block = [](int, OptionalError) {};
    auto query = variancesQuery(component);
    if (!query) {
        block(0, TextError("common_internal_error"));
        return;
    }
    services_detail::countObjects(std::move(*query), typeName(), std::move(block));
}

void ComponentService::getComponentThumbnailHome(const std::shared_ptr<ComponentEntity>& component, TextBlock block) {
    if (!block) block = [](std::optional<std::string>, OptionalError) {};
    const std::string componentId = component ? component->objectId().value_or("") : "";
    ParseCloud::callFunctionInBackground("getComponentThumbnailHome", {{"component_id", componentId}},
                                         [block](nlohmann::json result, OptionalError error) {
                                             if (error) return block(std::nullopt, std::move(error));
                                             if (result.is_object()) {
                                                 if (auto path = result.find("path");
                                                     path != result.end() && path->is_string())
                                                     return block(path->get<std::string>(), std::nullopt);
                                             }
                                             block(std::nullopt, TextError("common_internal_error"));
                                         });
}

void ComponentService::obtainProductUrlByComponentOfCurrentCompany(const std::shared_ptr<ComponentEntity>& component,
                                                                   TextBlock block) {
    if (!block) block = [](std::optional<std::string>, OptionalError) {};
    if (!component || isBlank(component->productLink())) {
        block(std::nullopt, std::nullopt);
        return;
    }
    AuthService::sharedInstance().currentCompany(
        [component, block](std::shared_ptr<CompanyEntity> company, OptionalError error) {
            if (!company) return block(std::nullopt, std::move(error));
            // A link that is not a URL has nothing to append to: the caller gets nothing, and no error,
            // as for a blank link.
            const auto link = component->productLinkUrl();
            if (!link) return block(std::nullopt, std::nullopt);
            // The parameters as stored: their separators, not blanks, decide how they are read.
            const auto parameters = company->value("extraProductUrlParams").asString().value_or("");
            block(services_detail::appendExtraParameters(*link, parameters), std::nullopt);
        });
}

// ---- live changes -------------------------------------------------------------------------------

std::optional<ParseQuery> ComponentService::makeSubscriptionQuery(const std::shared_ptr<CatalogEntity>& catalog) const {
    auto query = CatalogChangeSubscriber::makeSubscriptionQuery(catalog);
    if (query) query->includeKey("parent");
    return query;
}

void ComponentService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                             const std::shared_ptr<CatalogEntity>& catalog) {
    services_detail::configurePlainChangeFeed(
        subscription, label(), catalog,
        {VantrelSDK::componentCreatedNotification, VantrelSDK::componentUpdatedNotification,
         VantrelSDK::componentDeletedNotification},
        services_detail::cachedFileKeysOf, services_detail::recordObject<ComponentEntity>,
        {"thumbnailFilePath", "scnModelFilePath", "scnModelAssetFilePaths"});
}

}  // namespace vantrel
