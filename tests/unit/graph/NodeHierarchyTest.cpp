// Parents and children, cloning and searching.

#include <stdexcept>

#include <gtest/gtest.h>

#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {
namespace {

std::shared_ptr<SCNNode> named(const char* name) {
    auto node = SCNNode::make();
    node->setName(name);
    return node;
}

TEST(NodeHierarchy, AddingMovesANodeFromItsOldParent) {
    auto first = named("first");
    auto second = named("second");
    auto child = named("child");
    first->addChildNode(child);
    second->addChildNode(child);
    EXPECT_TRUE(first->childNodes().empty());
    ASSERT_EQ(second->childNodes().size(), 1u);
    EXPECT_EQ(child->parentNode(), second);

    auto other = named("other");
    second->insertChildNode(other, 0);
    EXPECT_EQ(second->childNodes().front(), other);
    second->addChildNode(other);  // re-adding moves it to the end
    EXPECT_EQ(second->childNodes().back(), other);
    EXPECT_EQ(second->childNodes().size(), 2u);
}

TEST(NodeHierarchy, RefusesCyclesAndNullChildren) {
    auto top = named("top");
    auto middle = named("middle");
    auto bottom = named("bottom");
    top->addChildNode(middle);
    middle->addChildNode(bottom);
    EXPECT_THROW(bottom->addChildNode(top), std::invalid_argument);
    EXPECT_THROW(middle->addChildNode(middle), std::invalid_argument);
    EXPECT_THROW(top->addChildNode(nullptr), std::invalid_argument);
    EXPECT_EQ(top->parentNode(), nullptr) << "a refused add changes nothing";
}

// A scene node that builds its content in its constructor, before any shared_ptr owns it.
class ContainerNode : public SCNNode {
public:
    ContainerNode() : content_(SCNNode::make()) {
        content_->setName("CONTENT");
        content_->setPosition({0, 1, 0});
        addChildNode(content_);
    }
    const std::shared_ptr<SCNNode>& content() const { return content_; }

private:
    std::shared_ptr<SCNNode> content_;
};

TEST(NodeHierarchy, ConstructorsMayAddChildrenAndParentsLetGoWhenDestroyed) {
    auto container = std::make_shared<ContainerNode>();
    container->setPosition({5, 0, 0});
    EXPECT_EQ(container->content()->parentNode(), container);
    EXPECT_EQ(container->content()->worldPosition(), SCNVector3(5, 1, 0));

    const auto survivor = container->content();
    container.reset();
    EXPECT_EQ(survivor->parentNode(), nullptr);
    EXPECT_EQ(survivor->worldPosition(), SCNVector3(0, 1, 0));
}

TEST(NodeHierarchy, RemovingTheLastReferenceFromTheParentIsSafe) {
    auto parent = named("parent");
    std::weak_ptr<SCNNode> watch;
    {
        auto child = named("child");
        watch = child;
        parent->addChildNode(child);
    }
    ASSERT_FALSE(watch.expired());
    watch.lock()->removeFromParentNode();  // the temporary from lock() is the only other owner
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(parent->childNodes().empty());
    named("orphan")->removeFromParentNode();  // no parent: nothing happens
}

TEST(NodeClone, CopiesStateAndChildrenButSharesGeometryLightAndCamera) {
    auto original = named("chair");
    original->setGeometry(SCNBox::make(1, 2, 3));
    original->setLight(SCNLight::make(SCNLightType::omni));
    original->setCamera(SCNCamera::make());
    original->setPosition({1, 2, 3});
    original->setOpacity(0.5);
    original->setCategoryBitMask(6);
    original->setHidden(true);
    auto leg = named("leg");
    leg->setPosition({0, -1, 0});
    original->addChildNode(leg);
    auto holder = named("holder");
    holder->addChildNode(original);

    const auto copy = original->clone();
    EXPECT_EQ(copy->name(), "chair");
    EXPECT_EQ(copy->parentNode(), nullptr);
    EXPECT_EQ(copy->position(), original->position());
    EXPECT_EQ(copy->opacity(), 0.5);
    EXPECT_EQ(copy->categoryBitMask(), 6u);
    EXPECT_TRUE(copy->isHidden());
    EXPECT_EQ(copy->geometry(), original->geometry()) << "clones share geometry";
    EXPECT_EQ(copy->light(), original->light());
    EXPECT_EQ(copy->camera(), original->camera());
    ASSERT_EQ(copy->childNodes().size(), 1u);
    EXPECT_NE(copy->childNodes().front(), leg);
    EXPECT_EQ(copy->childNodes().front()->parentNode(), copy);

    copy->setPosition({9, 9, 9});
    copy->setOpacity(1.0);
    copy->childNodes().front()->setName("copied leg");
    copy->addChildNode(named("extra"));
    EXPECT_EQ(original->position(), SCNVector3(1, 2, 3));
    EXPECT_EQ(original->opacity(), 0.5);
    EXPECT_EQ(leg->name(), "leg");
    EXPECT_EQ(original->childNodes().size(), 1u);
}

// A scene node of the library derives from SCNNode and clones as its own type.
class TaggedNode : public SCNNode {
public:
    std::string tag;
    std::shared_ptr<SCNNode> clone() const override {
        std::shared_ptr<TaggedNode> copy(new TaggedNode(*this));
        cloneChildrenInto(*copy);
        return copy;
    }
    TaggedNode() = default;

protected:
    TaggedNode(const TaggedNode&) = default;
};

TEST(NodeClone, SubclassesCloneAsTheirOwnType) {
    auto root = named("root");
    auto tagged = std::make_shared<TaggedNode>();
    tagged->tag = "model";
    root->addChildNode(tagged);
    tagged->addChildNode(named("part"));
    const auto copy = root->clone();
    const auto copiedTagged = std::dynamic_pointer_cast<TaggedNode>(copy->childNodes().at(0));
    ASSERT_NE(copiedTagged, nullptr);
    EXPECT_EQ(copiedTagged->tag, "model");
    EXPECT_EQ(copiedTagged->childNodes().at(0)->name(), "part");
}

TEST(NodeSearch, DepthFirstParentsBeforeChildrenAndStopsOnRequest) {
    auto root = named("root");
    auto a = named("a");
    auto a1 = named("a1");
    auto a2 = named("a2");
    auto b = named("b");
    auto b1 = named("b1");
    root->addChildNode(a);
    a->addChildNode(a1);
    a->addChildNode(a2);
    root->addChildNode(b);
    b->addChildNode(b1);

    std::vector<std::string> order;
    const auto all = root->childNodesPassingTest([&](const SCNNode& node, bool&) {
        order.push_back(node.name());
        return true;
    });
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a1", "a2", "b", "b1"}));
    EXPECT_EQ(all.size(), 5u) << "the root itself is not included";

    const auto untilA2 = root->childNodesPassingTest([](const SCNNode& node, bool& stop) {
        stop = node.name() == "a2";
        return node.name().size() == 2;
    });
    EXPECT_EQ(untilA2.size(), 2u);

    EXPECT_EQ(root->childNodeWithName("b1", true), b1);
    EXPECT_EQ(root->childNodeWithName("b1", false), nullptr);
    EXPECT_EQ(root->childNodeWithName("b", false), b);
    EXPECT_TRUE(b1->isDescendant(*root));
    EXPECT_FALSE(root->isDescendant(*b1));
}

}  // namespace
}  // namespace vantrel
