#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"

#include <memory>
#include <string>
#include <vector>

namespace vantrel {

/// One choice of a material combination: the material for one tag.
class CombinationItemEntity : public EmbeddedRecord<CombinationItemEntity> {
public:
    /// "tag"; empty when absent.
    [[nodiscard]] std::string tag() const;
    /// The material's object id, "materialId"; empty when absent.
    [[nodiscard]] std::string materialId() const;
};

/// A predefined material combination of a component, from its "combinations".
class CombinationEntity : public EmbeddedRecord<CombinationEntity> {
public:
    /// "name"; empty when absent.
    [[nodiscard]] std::string name() const;
    /// The tag-to-material choices, "combinationItems", in stored order.
    [[nodiscard]] std::vector<std::shared_ptr<CombinationItemEntity>> combinationItems() const;
    /// True when the combination has choices.
    [[nodiscard]] bool isCombinationItemsExist() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
