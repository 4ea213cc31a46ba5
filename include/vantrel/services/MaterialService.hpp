#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

/// A rendering material and the model parts it goes on.
struct FirstMaterialOfTag {
    /// The rendering material built from the tag's first material.
    std::shared_ptr<SCNMaterial> material;
    /// The (node name, node id) of every part that carries the tag.
    std::vector<std::pair<std::string, std::string>> nodeNamesOrNodeIds;
};

/// Reads a catalogue's materials, and the material each tagged part of a component starts with.
class MaterialService : public DaoAwareService<MaterialService>, public CatalogChangeSubscriber {
public:
    /// Receives one entry per tag that has a usable first material, in tag order.
    using FirstMaterialsBlock = std::function<void(std::vector<FirstMaterialOfTag> materials, OptionalError error)>;

    /// The process-wide instance.
    static MaterialService& sharedInstance();

    MaterialService(const MaterialService&) = delete;
    MaterialService& operator=(const MaterialService&) = delete;

    /// The material with object id `id`.
    void obtainMaterialById(const std::string& id, RecordResultBlock<MaterialEntity> block);
    /// The materials whose object ids are among `ids`.
    void obtainAllMaterialsByIds(const std::vector<std::string>& ids, std::optional<int> offset, std::optional<int> max,
                                 RecordsResultBlock<MaterialEntity> block);
    /// The materials of `catalog`.
    void obtainAllMaterialsByCatalog(const std::shared_ptr<CatalogEntity>& catalog, std::optional<int> offset,
                                     std::optional<int> max, RecordsResultBlock<MaterialEntity> block);
    /// For each tag of the component's tagged parts, in order: the rendering material of the
    /// tag's first material and the parts carrying the tag. Tags without a material, or whose
    /// material cannot be read, are left out; tags are handled one after another.
    void obtainFirstMaterialsOfComponent(const std::shared_ptr<ComponentEntity>& component, FirstMaterialsBlock block);

    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>& catalog) override;

private:
    MaterialService();
    ~MaterialService() override = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
