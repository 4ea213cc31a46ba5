#include "services/CurrentCatalog.hpp"

#include "services/UserVerification.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/CompanyService.hpp"

namespace vantrel::services_detail {

void withCurrentCatalog(CatalogBlock next) {
    auto user = signedInUser();
    if (!user) {
        AuthService::sharedInstance().signOut(true, [next] { next(nullptr, std::nullopt); });
        return;
    }
    verifyUser(user, std::nullopt, [next](std::shared_ptr<UserEntity> verified, OptionalError unreachable) {
        if (!verified) return next(nullptr, std::move(unreachable));
        const auto company = verified->company();
        const auto companyId = company ? company->objectId() : std::nullopt;
        if (!companyId) return next(nullptr, std::nullopt);
        CompanyService::sharedInstance().obtainCompanyById(
            *companyId, [next](std::shared_ptr<CompanyEntity> fetched, OptionalError error) {
                if (error) return next(nullptr, std::move(error));
                if (!fetched) return next(nullptr, std::nullopt);
                CatalogService::sharedInstance().obtainCatalogByCompany(
                    fetched, [next](std::shared_ptr<CatalogEntity> catalog, OptionalError catalogError) {
                        next(std::move(catalog), std::move(catalogError));
                    });
            });
    });
}

}  // namespace vantrel::services_detail
