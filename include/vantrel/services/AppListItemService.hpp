#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Reads the entries of the app's product lists. Entries arrive with their "component" filled.
class AppListItemService : public DaoAwareService<AppListItemService>, public CatalogChangeSubscriber {
public:
    /// The process-wide instance.
    static AppListItemService& sharedInstance();

    AppListItemService(const AppListItemService&) = delete;
    AppListItemService& operator=(const AppListItemService&) = delete;

    /// The entry with object id `id`.
    void obtainAppListItemById(const std::string& id, RecordResultBlock<AppListItemEntity> block);
    /// The main-product entries of the current user's catalogue, by parent and then by index.
    void obtainProductsOnlyByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                            RecordsResultBlock<AppListItemEntity> block);
    /// The entries of the current user's catalogue directly under `parent` (the top level when
    /// none), by index.
    void obtainAppListItemsByCurrentCatalog(const std::shared_ptr<AppListItemEntity>& parent, std::optional<int> offset,
                                            std::optional<int> max, RecordsResultBlock<AppListItemEntity> block);

    /// Create handler: an entry of `catalog` that is not in draft is announced once its component
    /// is read (with "component" null when that fails).
    void subscriptionProcessOnCreate(const std::shared_ptr<ParseObject>& record,
                                     const std::shared_ptr<CatalogEntity>& catalog);
    /// Update handler: as `subscriptionProcessOnCreate`, with the updated notification.
    void subscriptionProcessOnUpdate(const std::shared_ptr<ParseObject>& record,
                                     const std::shared_ptr<CatalogEntity>& catalog);

    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>& catalog) override;

protected:
    [[nodiscard]] std::optional<ParseQuery> makeSubscriptionQuery(
        const std::shared_ptr<CatalogEntity>& catalog) const override;

private:
    AppListItemService();
    ~AppListItemService() override = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
