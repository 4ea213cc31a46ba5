#include "vantrel/store/ManagedObjectModel.hpp"

#include <set>
#include <stdexcept>

namespace vantrel {

EntityDescription::EntityDescription(std::string name, std::vector<AttributeDescription> attributes,
                                     std::vector<RelationshipDescription> relationships, Factory factory)
    : name_(std::move(name)),
      attributes_(std::move(attributes)),
      relationships_(std::move(relationships)),
      factory_(std::move(factory)) {}

std::optional<std::size_t> EntityDescription::attributeIndex(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < attributes_.size(); ++i) {
        if (attributes_[i].name == name) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> EntityDescription::relationshipIndex(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < relationships_.size(); ++i) {
        if (relationships_[i].name == name) return i;
    }
    return std::nullopt;
}

std::shared_ptr<ManagedObject> EntityDescription::makeInstance() const { return factory_(); }

ManagedObjectModel::ManagedObjectModel(std::string name, int versionNumber, std::vector<EntityDescription> entities,
                                       std::vector<Migration> migrations)
    : name_(std::move(name)),
      versionNumber_(versionNumber),
      entities_(std::move(entities)),
      migrations_(std::move(migrations)) {
    if (versionNumber_ < 1) throw std::invalid_argument("model version must be 1 or more");
    std::set<std::string> names;
    for (const auto& entity : entities_) {
        if (!names.insert(entity.name()).second) throw std::invalid_argument("entity repeated: " + entity.name());
        if (!entity.makeInstance()) throw std::invalid_argument("entity without class: " + entity.name());
        std::set<std::string> keys{"Z_PK", "Z_OPT"};  // the store's own columns
        for (const auto& attribute : entity.attributes()) {
            if (!keys.insert(attribute.name).second) throw std::invalid_argument("key repeated: " + attribute.name);
        }
        for (const auto& relation : entity.relationships()) {
            if (!keys.insert(relation.name).second) throw std::invalid_argument("key repeated: " + relation.name);
        }
    }
    for (const auto& entity : entities_) {
        for (const auto& relation : entity.relationships()) {
            const auto* destination = this->entity(relation.destinationEntityName);
            if (!destination) throw std::invalid_argument("unknown destination: " + relation.destinationEntityName);
            const auto inverseIndex = destination->relationshipIndex(relation.inverseName);
            if (!inverseIndex) throw std::invalid_argument("unknown inverse: " + relation.inverseName);
            const auto& inverse = destination->relationships()[*inverseIndex];
            if (inverse.inverseName != relation.name || inverse.destinationEntityName != entity.name()) {
                throw std::invalid_argument("inverse does not point back: " + relation.name);
            }
            if (relation.toMany && inverse.toMany)
                throw std::invalid_argument("many-to-many relation: " + relation.name);
        }
    }
}

const EntityDescription* ManagedObjectModel::entity(std::string_view name) const noexcept {
    for (const auto& entity : entities_) {
        if (entity.name() == name) return &entity;
    }
    return nullptr;
}

}  // namespace vantrel
