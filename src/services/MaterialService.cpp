#include "vantrel/services/MaterialService.hpp"

#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "services/RenderingMaterials.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

using services_detail::typed;
using services_detail::typedList;

namespace {

// One obtainFirstMaterialsOfComponent: its tags, where it stands and what it found so far. Tags
// are handled strictly one after another so that the answer keeps their order.
struct FirstMaterialsRun : std::enable_shared_from_this<FirstMaterialsRun> {
    std::shared_ptr<ComponentEntity> component;
    std::vector<std::string> tags;
    std::size_t next = 0;
    std::vector<FirstMaterialOfTag> found;
    MaterialService::FirstMaterialsBlock block;

    void step() {
        while (next < tags.size()) {
            const std::string tag = tags[next++];
            const auto materialIds = component->getMaterialIdsByTag(tag);
            if (materialIds.empty()) continue;
            auto nodes = component->getNodeNamesOrNodeIdsByTag(tag);
            MaterialService::sharedInstance().obtainMaterialById(
                materialIds.front(), [self = shared_from_this(), nodes = std::move(nodes)](
                                         std::shared_ptr<MaterialEntity> material, OptionalError error) {
                    if (error || !material) return self->step();
                    services_detail::buildRenderingMaterial(
                        material, [self, nodes](std::shared_ptr<SCNMaterial> rendering) {
                            if (rendering) self->found.push_back({std::move(rendering), nodes});
                            self->step();
                        });
                });
            return;
        }
        block(std::move(found), std::nullopt);
    }
};

}  // namespace

MaterialService::MaterialService() : CatalogChangeSubscriber("Materials", MaterialEntity::parseClassName()) {
    registerRecordClasses();
}

MaterialService& MaterialService::sharedInstance() {
    static auto* instance = new MaterialService();
    return *instance;
}

void MaterialService::obtainMaterialById(const std::string& id, RecordResultBlock<MaterialEntity> block) {
    services_detail::getObjectById(ParseQuery(MaterialEntity::parseClassName()), id, typeName(),
                                   typed<MaterialEntity>(std::move(block)));
}

void MaterialService::obtainAllMaterialsByIds(const std::vector<std::string>& ids, std::optional<int> offset,
                                              std::optional<int> max, RecordsResultBlock<MaterialEntity> block) {
    ParseQuery query(MaterialEntity::parseClassName());
    query.whereContainedIn("objectId", services_detail::idValues(ids));
    services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                    typedList<MaterialEntity>(std::move(block)));
}

void MaterialService::obtainAllMaterialsByCatalog(const std::shared_ptr<CatalogEntity>& catalog,
                                                  std::optional<int> offset, std::optional<int> max,
                                                  RecordsResultBlock<MaterialEntity> block) {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) {
        if (block) block({}, std::nullopt);
        return;
    }
    ParseQuery query(MaterialEntity::parseClassName());
    query.whereEqualTo("catalog", *pointer);
    services_detail::findAllObjects(std::move(query), offset, max, typeName(),
                                    typedList<MaterialEntity>(std::move(block)));
}

void MaterialService::obtainFirstMaterialsOfComponent(const std::shared_ptr<ComponentEntity>& component,
                                                      FirstMaterialsBlock block) {
    auto run = std::make_shared<FirstMaterialsRun>();
    run->block = block ? std::move(block) : [](std::vector<FirstMaterialOfTag>, OptionalError) {};
    if (component) {
        run->component = component;
        for (const auto& entry : component->nodesToTags())
            if (entry && !entry->tag().empty()) run->tags.push_back(entry->tag());
    }
    run->step();
}

// ---- live changes -------------------------------------------------------------------------------

void MaterialService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                            const std::shared_ptr<CatalogEntity>& catalog) {
    services_detail::configurePlainChangeFeed(
        subscription, label(), catalog,
        {VantrelSDK::materialCreatedNotification, VantrelSDK::materialUpdatedNotification,
         VantrelSDK::materialDeletedNotification},
        services_detail::textureFileKeysOf<MaterialEntity>, services_detail::recordObject<MaterialEntity>,
        {"scnProperties"});
}

}  // namespace vantrel
