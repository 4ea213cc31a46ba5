#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/store/AttributeValue.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class ManagedObject;
class EntityDescription;

/// The kinds of attribute a store model knows.
enum class AttributeType { integer16, integer32, integer64, float32, float64, boolean, string, binaryData, date };

/// What deleting an object does to the objects at the other end of one of its relations.
enum class DeleteRule {
    /// The related objects stay and forget this one.
    nullify,
    /// The related objects are deleted too.
    cascade,
};

/// One attribute of an entity.
struct AttributeDescription {
    std::string name;
    AttributeType type = AttributeType::string;
};

/// One relation of an entity to another. Every relation names its inverse; to-many relations must
/// have a to-one inverse (the store keeps the link on the to-one side).
struct RelationshipDescription {
    std::string name;
    std::string destinationEntityName;
    std::string inverseName;
    bool toMany = false;
    DeleteRule deleteRule = DeleteRule::nullify;
};

/// One entity (table) of a model: its name, attributes and relations, and how to make an
/// instance of its class.
class EntityDescription {
public:
    /// Makes an empty instance of the entity's class.
    using Factory = std::function<std::shared_ptr<ManagedObject>()>;

    EntityDescription(std::string name, std::vector<AttributeDescription> attributes,
                      std::vector<RelationshipDescription> relationships, Factory factory);

    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    [[nodiscard]] const std::vector<AttributeDescription>& attributes() const noexcept { return attributes_; }
    [[nodiscard]] const std::vector<RelationshipDescription>& relationships() const noexcept { return relationships_; }
    /// Position of the attribute `name`; none when the entity has no such attribute.
    [[nodiscard]] std::optional<std::size_t> attributeIndex(std::string_view name) const noexcept;
    /// Position of the relation `name`; none when the entity has no such relation.
    [[nodiscard]] std::optional<std::size_t> relationshipIndex(std::string_view name) const noexcept;
    /// A new, empty instance of the entity's class.
    [[nodiscard]] std::shared_ptr<ManagedObject> makeInstance() const;

private:
    std::string name_;
    std::vector<AttributeDescription> attributes_;
    std::vector<RelationshipDescription> relationships_;
    Factory factory_;
};

/// A store model: named, versioned, a set of entities.
///
/// The version number is written into every store file. A file of a lower version is brought up
/// to date by the model's migrations, one step per version; a file of a higher version is refused
/// and left untouched.
class ManagedObjectModel {
public:
    /// One migration step: receives SQL to run against the store's file inside the upgrade's
    /// transaction, bringing it from `fromVersion` to `fromVersion + 1`.
    struct Migration {
        int fromVersion = 0;
        std::vector<std::string> statements;
    };

    /// @throw std::invalid_argument when an entity name repeats, a relation names an unknown
    ///        entity or inverse, the inverse does not point back, a to-many relation has a to-many
    ///        inverse, or the version is below 1.
    ManagedObjectModel(std::string name, int versionNumber, std::vector<EntityDescription> entities,
                       std::vector<Migration> migrations = {});

    [[nodiscard]] const std::string& name() const noexcept { return name_; }
    [[nodiscard]] int versionNumber() const noexcept { return versionNumber_; }
    [[nodiscard]] const std::vector<EntityDescription>& entities() const noexcept { return entities_; }
    [[nodiscard]] const std::vector<Migration>& migrations() const noexcept { return migrations_; }
    /// The entity named `name`; nullptr when the model has none.
    [[nodiscard]] const EntityDescription* entity(std::string_view name) const noexcept;

private:
    std::string name_;
    int versionNumber_;
    std::vector<EntityDescription> entities_;
    std::vector<Migration> migrations_;
};

}  // namespace vantrel

#pragma GCC visibility pop
