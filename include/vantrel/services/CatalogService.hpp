#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>

namespace vantrel {

/// Reads company catalogues and starts and stops the live subscriptions of the current one.
class CatalogService : public DaoAwareService<CatalogService> {
public:
    /// The process-wide instance.
    static CatalogService& sharedInstance();

    CatalogService(const CatalogService&) = delete;
    CatalogService& operator=(const CatalogService&) = delete;

    /// The catalogue of the verified current user's company; none (after a sign-out with
    /// notification) when nobody is signed in.
    void obtainCatalogByCurrentCompany(RecordResultBlock<CatalogEntity> block);
    /// The catalogue of `company`; none when it has none.
    void obtainCatalogByCompany(const std::shared_ptr<CompanyEntity>& company, RecordResultBlock<CatalogEntity> block);

    /// Starts the live subscriptions of the current catalogue unless they run already. Called
    /// after a successful sign-in and on activation.
    void subscribeIfNeeded();
    /// Stops every live subscription of the catalogue and disconnects the live-query client.
    /// Called by sign-out, before the user is logged out.
    void unsubscribeAll();

private:
    CatalogService();
    ~CatalogService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
