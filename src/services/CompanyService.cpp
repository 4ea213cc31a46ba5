#include "vantrel/services/CompanyService.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

CompanyService::CompanyService() { registerRecordClasses(); }

CompanyService& CompanyService::sharedInstance() {
    static auto* instance = new CompanyService();
    return *instance;
}

void CompanyService::obtainCompanyById(const std::string& id, RecordResultBlock<CompanyEntity> block) {
    VantrelSDK::setLastDbAccessTime(typeName(), 0);
    services_detail::getObjectById(ParseQuery(CompanyEntity::parseClassName()), id, typeName(),
                                   services_detail::typed<CompanyEntity>(std::move(block)));
}

void CompanyService::obtainCompanyByName(const std::string& name, RecordResultBlock<CompanyEntity> block) {
    VantrelSDK::setLastDbAccessTime(typeName(), 0);
    ParseQuery query(CompanyEntity::parseClassName());
    query.whereEqualTo("name", name);
    services_detail::getFirstObject(std::move(query), typeName(),
                                    services_detail::typed<CompanyEntity>(std::move(block)));
}

}  // namespace vantrel
