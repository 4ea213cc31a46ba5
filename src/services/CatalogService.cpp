#include "vantrel/services/CatalogService.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AuthService.hpp"

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
    services_detail::getFirstObject(std::move(query), typeName(), services_detail::typed<CatalogEntity>(std::move(block)));
}

void CatalogService::subscribeIfNeeded() {
    // The live subscriptions of the catalogue records start here once they exist.
}

void CatalogService::unsubscribeAll() {
    // The live subscriptions of the catalogue records stop here once they exist.
}

}  // namespace vantrel
