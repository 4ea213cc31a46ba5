#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Reads a catalogue's canvas settings (scenes).
class SceneService : public DaoAwareService<SceneService>, public CatalogChangeSubscriber {
public:
    /// The process-wide instance.
    static SceneService& sharedInstance();

    SceneService(const SceneService&) = delete;
    SceneService& operator=(const SceneService&) = delete;

    /// The scene with object id `id`.
    void obtainSceneById(const std::string& id, RecordResultBlock<SceneEntity> block);
    /// The first scene of the current user's catalogue.
    void obtainSceneByCurrentCatalog(RecordResultBlock<SceneEntity> block);
    /// The first scene of `catalog`.
    void obtainSceneByCatalog(const std::shared_ptr<CatalogEntity>& catalog, RecordResultBlock<SceneEntity> block);
    /// The scenes of `catalog`.
    void obtainAllScenesByCatalog(const std::shared_ptr<CatalogEntity>& catalog, std::optional<int> offset,
                                  std::optional<int> max, RecordsResultBlock<SceneEntity> block);

    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>& catalog) override;

private:
    SceneService();
    ~SceneService() override = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
