#pragma once

#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Reads the entries of the app's product lists. Entries arrive with their "component" filled.
class AppListItemService : public DaoAwareService<AppListItemService> {
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

private:
    AppListItemService();
    ~AppListItemService() = default;
};

}  // namespace vantrel
