#include "vantrel/services/CatalogService.hpp"

#include "services/QueryPattern.hpp"
#include "services/UserVerification.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/SceneService.hpp"

namespace vantrel {

CatalogService::CatalogService() { registerRecordClasses(); }

CatalogService& CatalogService::sharedInstance() {
    static auto* instance = new CatalogService();
    return *instance;
}

void CatalogService::obtainCatalogByCurrentCompany(RecordResultBlock<CatalogEntity> block) {
    if (!block) block = [](std::shared_ptr<CatalogEntity>, OptionalError) {};
    AuthService::sharedInstance().currentCompany([block](std::shared_ptr<CompanyEntity> company, OptionalError error) {
        if (!company) return block(nullptr, std::move(error));
        CatalogService::sharedInstance().obtainCatalogByCompany(company, block);
    });
}

void CatalogService::obtainCatalogByCompany(const std::shared_ptr<CompanyEntity>& company,
                                            RecordResultBlock<CatalogEntity> block) {
    if (!block) block = [](std::shared_ptr<CatalogEntity>, OptionalError) {};
    const auto pointer = services_detail::pointerTo(company);
    if (!pointer) {
        block(nullptr, std::nullopt);
        return;
    }
    ParseQuery query(CatalogEntity::parseClassName());
    query.whereEqualTo("company", *pointer).selectKeys({"company"});
    services_detail::getFirstObject(std::move(query), typeName(),
                                    services_detail::typed<CatalogEntity>(std::move(block)));
}

void CatalogService::subscribeIfNeeded() {
    auto client = LiveQueryClient::shared();
    // After a sign-out the client stays disconnected until someone subscribes again.
    if (client && client->isDisconnected()) client->reconnect();

    if (!services_detail::signedInUser()) {
        AuthService::sharedInstance().signOut(true);
        VLOG_ERROR("Catalog - unable to subscribe current catalog is null.");
        unsubscribeAll();
        return;
    }
    obtainCatalogByCurrentCompany([](std::shared_ptr<CatalogEntity> catalog, OptionalError error) {
        auto& catalogs = CatalogService::sharedInstance();
        if (error) {
            VLOG_ERROR("Catalog - unable to subscribe due error: " + error->description());
            return catalogs.unsubscribeAll();
        }
        if (!catalog) {
            VLOG_ERROR("Catalog - unable to subscribe current catalog is null.");
            return catalogs.unsubscribeAll();
        }
        MaterialService::sharedInstance().subscribe(catalog);
        ComponentService::sharedInstance().subscribe(catalog);
        AnchorObjectService::sharedInstance().subscribe(catalog);
        SceneService::sharedInstance().subscribe(catalog);
        AppListItemService::sharedInstance().subscribe(catalog);
    });
}

void CatalogService::unsubscribeAll() {
    // Ending a subscription needs no connection here (the client forgets it at once and tells the
    // server when connected), so a disconnected client is not woken up only to be closed again.
    ComponentService::sharedInstance().unsubscribe();
    AnchorObjectService::sharedInstance().unsubscribe();
    MaterialService::sharedInstance().unsubscribe();
    SceneService::sharedInstance().unsubscribe();
    AppListItemService::sharedInstance().unsubscribe();
    if (auto client = LiveQueryClient::shared()) client->disconnect();
}

}  // namespace vantrel
