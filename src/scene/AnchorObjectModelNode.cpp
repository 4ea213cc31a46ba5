#include "vantrel/scene/AnchorObjectModelNode.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

namespace vantrel {

namespace {
std::string newUuidString() { return boost::uuids::to_string(boost::uuids::random_generator()()); }
}  // namespace

AnchorObjectModelNode::AnchorObjectModelNode(std::string id, std::string anchorObjectId)
    : id_(std::move(id)), anchorObjectId_(std::move(anchorObjectId)), contentNode_(SCNNode::make()) {
    contentNode_->setName(contentNodeName);
    addChildNode(contentNode_);
}

AnchorObjectModelNode::AnchorObjectModelNode() : AnchorObjectModelNode(newUuidString(), newUuidString()) {}

AnchorObjectModelNode::AnchorObjectModelNode(const AnchorObjectModelNode& other)
    : SCNNode(other), id_(other.id_), anchorObjectId_(other.anchorObjectId_) {}

AnchorObjectModelNode::~AnchorObjectModelNode() = default;

std::shared_ptr<AnchorObjectModelNode> AnchorObjectModelNode::make(std::string id, std::string anchorObjectId) {
    return std::make_shared<AnchorObjectModelNode>(std::move(id), std::move(anchorObjectId));
}

std::shared_ptr<AnchorObjectModelNode> AnchorObjectModelNode::make() {
    return std::make_shared<AnchorObjectModelNode>();
}

void AnchorObjectModelNode::add(const std::vector<std::shared_ptr<SCNNode>>& nodes) {
    for (const auto& node : nodes) {
        if (node) contentNode_->addChildNode(node);
    }
}

std::shared_ptr<SCNNode> AnchorObjectModelNode::clone() const {
    std::shared_ptr<AnchorObjectModelNode> copy(new AnchorObjectModelNode(*this));
    cloneChildrenInto(*copy);
    // The content node is the copy's child at the original's place; taken out by someone, it
    // stays out, as a clone of its own.
    const auto& children = childNodes();
    for (std::size_t i = 0; i < children.size() && i < copy->childNodes().size(); ++i) {
        if (children[i] == contentNode_) copy->contentNode_ = copy->childNodes()[i];
    }
    if (!copy->contentNode_) copy->contentNode_ = contentNode_->clone();
    return copy;
}

}  // namespace vantrel
