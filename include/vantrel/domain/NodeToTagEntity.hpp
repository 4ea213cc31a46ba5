#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"

#include <optional>
#include <string>

namespace vantrel {

/// Which node of a component's model carries which tag, from the component's "nodesToTags".
class NodeToTagEntity : public EmbeddedRecord<NodeToTagEntity> {
public:
    /// The node's identifier, "nodeId"; none when absent.
    [[nodiscard]] std::optional<std::string> nodeId() const;
    /// The node's name, "nodeName"; empty when absent.
    [[nodiscard]] std::string nodeName() const;
    /// "tag"; empty when absent.
    [[nodiscard]] std::string tag() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
