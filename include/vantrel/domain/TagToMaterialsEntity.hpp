#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"

#include <string>
#include <vector>

namespace vantrel {

/// The materials a tag admits, from a component's "tagsToMaterials".
class TagToMaterialsEntity : public EmbeddedRecord<TagToMaterialsEntity> {
public:
    /// "tag"; empty when absent.
    [[nodiscard]] std::string tag() const;
    /// The admitted materials' object ids, "materialIds"; empty when absent.
    [[nodiscard]] std::vector<std::string> materialIds() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
