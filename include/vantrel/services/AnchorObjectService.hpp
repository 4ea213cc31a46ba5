#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// Reads a catalogue's anchor objects (models fixed to components).
class AnchorObjectService : public DaoAwareService<AnchorObjectService>, public CatalogChangeSubscriber {
public:
    /// The process-wide instance.
    static AnchorObjectService& sharedInstance();

    AnchorObjectService(const AnchorObjectService&) = delete;
    AnchorObjectService& operator=(const AnchorObjectService&) = delete;

    /// The anchor object with object id `id`.
    void obtainAnchorObjectById(const std::string& id, RecordResultBlock<AnchorObjectEntity> block);
    /// The anchor objects whose object ids are among `ids`.
    void obtainAllAnchorObjectsByIds(const std::vector<std::string>& ids, std::optional<int> offset,
                                     std::optional<int> max, RecordsResultBlock<AnchorObjectEntity> block);
    /// The anchor objects of the current user's catalogue.
    void obtainAllAnchorObjectsByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                                RecordsResultBlock<AnchorObjectEntity> block);
    /// The anchor objects of `catalog`.
    void obtainAllAnchorObjectsByCatalog(const std::shared_ptr<CatalogEntity>& catalog, std::optional<int> offset,
                                         std::optional<int> max, RecordsResultBlock<AnchorObjectEntity> block);

    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>& catalog) override;

private:
    AnchorObjectService();
    ~AnchorObjectService() override = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
