// Anchor-object models on a product model: placement by a connection, removal by id, and clones that
// carry their own anchor models.

#include "unit/domain/RecordTestSupport.hpp"
#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/scene/AnchorObjectModelNode.hpp"
#include "vantrel/scene/ModelNode.hpp"

#include <gtest/gtest.h>

using vantrel::AnchorObjectModelNode;
using vantrel::ModelNode;
using vantrel::SCNVector3;
using vantrel::SCNVector4;

TEST(AnchorObjectModelsTest, ConnectionsPlaceTheModelRelativeToTheContentNode) {
    struct Case {
        const char* what;
        nlohmann::json connection;
        SCNVector4 contentOrientation;
        SCNVector3 position;
        SCNVector4 orientation;
        SCNVector3 scale;
    };
    const std::vector<Case> cases{
        {"all given",
         {{"offsetPosition", "1, 2,3"}, {"offsetRotation", "0,0,0,1"}, {"scale", "2"}},
         {0, 0, 0, 1},
         {1.5f, 2, 3},
         {0, 0, 0, 2},
         {2, 1, 1}},
        {"nothing given", nlohmann::json::object(), {0, 0.6f, 0, 0.8f}, {0.5f, 0, 0}, {0, 0.6f, 0, 0.8f}, {1, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto model = ModelNode::make("m", "component");
        model->contentNode()->setPosition({0.5f, 0, 0});
        model->contentNode()->setOrientation(c.contentOrientation);
        const auto connection =
            vantrel::AnchorObjectConnectionEntity::fromDictionary(vantrel::test::dictionaryFrom(c.connection));
        const auto anchor = AnchorObjectModelNode::make("a1", "handle");
        model->attachAnchorObjectModel(anchor, connection->offsetPosition(), connection->offsetOrientation(),
                                       connection->scale());
        EXPECT_EQ(anchor->position(), c.position);
        EXPECT_EQ(anchor->orientation(), c.orientation);
        EXPECT_EQ(anchor->scale(), c.scale);
        EXPECT_EQ(anchor->parentNode(), model) << "a child of the model, not of its content";
        EXPECT_EQ(model->anchorObjectModels(), std::vector<std::shared_ptr<AnchorObjectModelNode>>{anchor});
    }
}

TEST(AnchorObjectModelsTest, RemovingByIdDetachesEveryModelOfThatIdAndKeepsTheOthersInOrder) {
    const auto model = ModelNode::make("m", "component");
    const auto first = AnchorObjectModelNode::make("x", "handle");
    const auto second = AnchorObjectModelNode::make("y", "lamp");
    const auto third = AnchorObjectModelNode::make("x", "handle");
    for (const auto& anchor : {first, second, third}) model->attachAnchorObjectModel(anchor, {}, {}, {1, 1, 1});

    model->removeAnchorObjectModels("nobody");
    EXPECT_EQ(model->anchorObjectModels().size(), 3u);

    model->removeAnchorObjectModels("x");
    EXPECT_EQ(model->anchorObjectModels(), std::vector<std::shared_ptr<AnchorObjectModelNode>>{second});
    EXPECT_FALSE(first->parentNode());
    EXPECT_FALSE(third->parentNode());
    EXPECT_EQ(second->parentNode(), model);
}

TEST(AnchorObjectModelsTest, AClonedModelListsItsOwnClonedAnchorModels) {
    const auto model = ModelNode::make("m", "component");
    const auto anchor = AnchorObjectModelNode::make("a1", "handle");
    anchor->add({vantrel::SCNNode::make(vantrel::SCNBox::make(1, 1, 1))});
    model->attachAnchorObjectModel(anchor, {1, 0, 0}, {}, {1, 1, 1});

    const auto copy = std::dynamic_pointer_cast<ModelNode>(model->clone());
    ASSERT_TRUE(copy);
    ASSERT_EQ(copy->anchorObjectModels().size(), 1u);
    const auto& cloned = copy->anchorObjectModels().front();
    EXPECT_NE(cloned, anchor);
    EXPECT_EQ(cloned->parentNode(), copy);
    EXPECT_EQ(cloned->id(), "a1");
    EXPECT_EQ(cloned->anchorObjectId(), "handle");
    EXPECT_EQ(cloned->position(), (SCNVector3{1, 0, 0}));
    ASSERT_EQ(cloned->childNodes().size(), 1u);
    EXPECT_EQ(cloned->contentNode(), cloned->childNodes().front()) << "the clone's content is its own";
    EXPECT_EQ(cloned->contentNode()->childNodes().size(), 1u);

    copy->removeAnchorObjectModels("a1");
    EXPECT_EQ(anchor->parentNode(), model) << "removing from the clone leaves the original alone";
}
