#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// Reads a catalogue's components (products), their variants, the folder of their thumbnails and
/// their product links. Components arrive with their "parent" filled.
class ComponentService : public DaoAwareService<ComponentService>, public CatalogChangeSubscriber {
public:
    /// Receives a text (a folder, a URL) or the error; neither when there is nothing to give.
    using TextBlock = std::function<void(std::optional<std::string> text, OptionalError error)>;

    /// The process-wide instance.
    static ComponentService& sharedInstance();

    ComponentService(const ComponentService&) = delete;
    ComponentService& operator=(const ComponentService&) = delete;

    /// The component with object id `id`.
    void obtainComponentById(const std::string& id, RecordResultBlock<ComponentEntity> block);
    /// The components whose object ids are among `ids`.
    void obtainAllComponentsByIds(const std::vector<std::string>& ids, std::optional<int> offset,
                                  std::optional<int> max, RecordsResultBlock<ComponentEntity> block);
    /// The components of the current user's catalogue.
    void obtainAllComponentsByCurrentCatalog(std::optional<int> offset, std::optional<int> max,
                                             RecordsResultBlock<ComponentEntity> block);
    /// The components of `catalog`.
    void obtainAllComponentsByCatalog(const std::shared_ptr<CatalogEntity>& catalog, std::optional<int> offset,
                                      std::optional<int> max, RecordsResultBlock<ComponentEntity> block);
    /// The first component of the current user's catalogue whose product number is `productNr`.
    void obtainComponentByCurrentCatalogAndProductNr(const std::string& productNr,
                                                     RecordResultBlock<ComponentEntity> block);
    /// The first component of `catalog` whose product number is `productNr`.
    void obtainComponentByCatalogAndProductNr(const std::shared_ptr<CatalogEntity>& catalog,
                                              const std::string& productNr, RecordResultBlock<ComponentEntity> block);
    /// The variants of `component` (its relation "variances").
    void obtainAllVariancesByComponent(const std::shared_ptr<ComponentEntity>& component, std::optional<int> offset,
                                       std::optional<int> max, RecordsResultBlock<ComponentEntity> block);
    /// The number of variants of `component`.
    void countVariancesByComponent(const std::shared_ptr<ComponentEntity>& component, CountResultBlock block);
    /// The backend folder that holds the component's thumbnails.
    void getComponentThumbnailHome(const std::shared_ptr<ComponentEntity>& component, TextBlock block);
    /// The component's product link with the current company's extra URL parameters appended;
    /// none for a blank link or one that is not a URL.
    void obtainProductUrlByComponentOfCurrentCompany(const std::shared_ptr<ComponentEntity>& component,
                                                     TextBlock block);

    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>& catalog) override;

protected:
    [[nodiscard]] std::optional<ParseQuery> makeSubscriptionQuery(
        const std::shared_ptr<CatalogEntity>& catalog) const override;

private:
    ComponentService();
    ~ComponentService() override = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
