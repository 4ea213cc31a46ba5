// The dimension display: what its labels read and where its arrowheads point.

#include <cmath>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "unit/graph/GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCone.hpp"
#include "vantrel/graph/SCNText.hpp"
#include "vantrel/graph/SceneClock.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

using graph_test::apply;

std::shared_ptr<ModelNode> modelWithBox(float width, float height, float depth, SCNVector3 offset = {}) {
    auto model = ModelNode::make();
    auto box = SCNNode::make(SCNBox::make(width, height, depth));
    box->setPosition(offset);
    model->add({box});
    model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    return model;
}

// A point in whole millimetres, "x y z", as a map key that float noise does not split.
std::string mm(const SCNVector3& p) {
    return std::to_string(std::lround(p.x * 1000)) + " " + std::to_string(std::lround(p.y * 1000)) + " " +
           std::to_string(std::lround(p.z * 1000));
}

// Label texts by where the label stands, in the model's coordinates.
std::map<std::string, std::string> labels(const ModelNode& model) {
    std::map<std::string, std::string> found;
    for (const auto& node : model.shownSizesNode()->childNodes()) {
        for (const auto& child : node->childNodes()) {
            if (auto text = std::dynamic_pointer_cast<SCNText>(child->geometry())) {
                found[mm(node->position())] = text->string();
            }
        }
    }
    return found;
}

// How many arrowhead tips touch each point (model coordinates); those whose base lies outside `box`
// point inwards.
std::map<std::string, int> arrowheadTips(const ModelNode& model, const SCNBoundingBox& box) {
    std::map<std::string, int> tips;
    for (const auto& node : model.shownSizesNode()->childNodes()) {
        if (auto cone = std::dynamic_pointer_cast<SCNCone>(node->geometry())) {
            const SCNVector3 base = apply(node->simdTransform(), {0, -cone->height() / 2, 0});
            const bool inside = base.x > box.min.x - 1e-5f && base.x < box.max.x + 1e-5f &&
                                base.y > box.min.y - 1e-5f && base.y < box.max.y + 1e-5f &&
                                base.z > box.min.z - 1e-5f && base.z < box.max.z + 1e-5f;
            tips[inside ? mm(apply(node->simdTransform(), {0, cone->height() / 2, 0})) : "inwards"] += 1;
        }
    }
    return tips;
}

TEST(ModelNodeSizes, LabelsReadWidthDepthAndHeightInWholeMillimetres) {
    auto model = modelWithBox(0.5f, 0.25f, 1.0f);
    EXPECT_EQ(model->shownSizesNode()->parentNode(), model) << "beside the content, not in it";
    const std::map<std::string, std::string> expected{
        {"0 -125 500", "500 mm"},    // width, along the front bottom edge
        {"-250 -125 0", "1000 mm"},  // depth, along the left bottom edge
        {"-250 0 500", "250 mm"},    // height, up the front left edge
    };
    EXPECT_EQ(labels(*model), expected);

    // Rebuilt from the current content, not added to; 0.7 is 0.69999998 as a float, still 700 mm.
    model->contentNode()->childNodes().front()->setGeometry(SCNBox::make(0.7f, 0.3f, 0.9f));
    model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    const std::map<std::string, std::string> rebuilt{
        {"0 -150 450", "700 mm"},
        {"-350 -150 0", "900 mm"},
        {"-350 0 450", "300 mm"},
    };
    EXPECT_EQ(labels(*model), rebuilt);

    model->hideSizes();
    EXPECT_FALSE(model->isSizesShown());
    EXPECT_TRUE(model->shownSizesNode()->childNodes().empty());
}

TEST(ModelNodeSizes, ALevitatingModelIsMeasuredAtRestWithArrowheadsOnTheLineEndsAndKeepsLevitating) {
    ManualSceneClock clock;
    // Off centre, so that a sign slip in the turning shows.
    auto model = modelWithBox(0.8f, 0.6f, 0.4f, {1.0f, 0.5f, -2.0f});
    model->highlight(ModelHighlightingMode::levitation);
    clock.advance(0.3);
    const SCNVector3 lifted = model->contentNode()->position();

    model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    const std::map<std::string, int> expected{
        {"600 200 -1800", 3},  // where the three lines meet
        {"1400 200 -1800", 1},
        {"600 200 -2200", 1},
        {"600 800 -1800", 1},
    };
    EXPECT_EQ(arrowheadTips(*model, {{0.6f, 0.2f, -2.2f}, {1.4f, 0.8f, -1.8f}}), expected);
    EXPECT_EQ(model->highlightedMode(), ModelHighlightingMode::levitation);
    EXPECT_EQ(model->contentNode()->position(), lifted);
    EXPECT_NE(model->contentNode()->actionForKey(ModelNode::highlightingAnimationKey), nullptr);
}

TEST(ModelNodeSizes, TheDisplayCastsNoShadowWhileTheModelStillDoes) {
    auto model = modelWithBox(0.8f, 0.6f, 0.4f, {0.0f, 0.0f, 0.0f});
    model->showSizes(UIColor::whiteColor(), UIColor::blackColor());
    int drawn = 0;
    int casting = 0;
    const auto nodes = model->childNodesPassingTest([](const SCNNode&, bool&) { return true; });
    for (const auto& node : nodes) {
        if (node->geometry() == nullptr) continue;
        ++drawn;
        if (node->castsShadow()) ++casting;
    }
    EXPECT_GT(drawn, 6) << "lines, arrowheads, labels and the box";
    EXPECT_EQ(casting, 1) << "only the box";
}

}  // namespace
}  // namespace vantrel
