#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/SCNNode.hpp"

#include <memory>
#include <string>
#include <vector>

namespace vantrel {

/// The model of an anchor object (a handle, a lamp, a logo plate) attached to a product's
/// `ModelNode`. Its geometry hangs below `contentNode()`; the node itself carries the placement the
/// component's connection gives (see `ModelNode::attachAnchorObjectModel`).
///
/// Create it with `make`; like all nodes it belongs to the main thread.
class AnchorObjectModelNode : public SCNNode {
public:
    /// Name of the content node.
    static constexpr const char* contentNodeName = "ANCHOR_OBJECT_MODEL_CONTENT";

    /// An attached instance `id` of the anchor object `anchorObjectId`, with an empty content node.
    AnchorObjectModelNode(std::string id, std::string anchorObjectId);
    /// The same with two new UUID strings.
    AnchorObjectModelNode();
    ~AnchorObjectModelNode() override;

    [[nodiscard]] static std::shared_ptr<AnchorObjectModelNode> make(std::string id, std::string anchorObjectId);
    [[nodiscard]] static std::shared_ptr<AnchorObjectModelNode> make();

    /// Identity of this attached instance (a new UUID string per load).
    [[nodiscard]] const std::string& id() const noexcept { return id_; }
    /// `objectId` of the anchor-object record.
    [[nodiscard]] const std::string& anchorObjectId() const noexcept { return anchorObjectId_; }
    /// The child named "ANCHOR_OBJECT_MODEL_CONTENT" holding the anchor object's nodes.
    [[nodiscard]] const std::shared_ptr<SCNNode>& contentNode() const noexcept { return contentNode_; }

    /// Appends `nodes`, in order, to the content node; null entries are skipped.
    void add(const std::vector<std::shared_ptr<SCNNode>>& nodes);

    /// A copy with the same identity whose content node is its own clone.
    [[nodiscard]] std::shared_ptr<SCNNode> clone() const override;

private:
    AnchorObjectModelNode(const AnchorObjectModelNode& other);

    std::string id_;
    std::string anchorObjectId_;
    std::shared_ptr<SCNNode> contentNode_;
};

}  // namespace vantrel

#pragma GCC visibility pop
