// Re-colouring the named parts of a model and restoring their own materials.

#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/scene/ModelNode.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using Materials = std::vector<std::shared_ptr<SCNMaterial>>;
using Parts = ModelNode::NodeNamesOrNodeIds;

std::shared_ptr<SCNMaterial> named(const std::string& name) {
    auto material = SCNMaterial::make();
    material->setName(name);
    return material;
}

std::shared_ptr<SCNNode> part(const std::string& name, Materials materials = {named("A"), named("B")}) {
    auto geometry = SCNBox::make(0.5f, 0.5f, 0.5f);
    geometry->setMaterials(std::move(materials));
    auto node = SCNNode::make(geometry);
    node->setName(name);
    return node;
}

std::vector<std::string> namesOf(const std::shared_ptr<SCNNode>& node) {
    std::vector<std::string> names;
    for (const auto& material : node->geometry()->materials()) names.push_back(material->name());
    return names;
}

TEST(ModelNodeMaterials, PartsAreSelectedBySuffixIdOrExactNameOnceEach) {
    struct Case {
        std::string name;
        Parts parts;
        std::set<std::string> recoloured;
    };
    const std::vector<Case> cases{
        {"name after an underscore, or exact", {{"Seat", ""}}, {"Chair_Seat", "Seat", "Arm_Seat_Seat"}},
        {"a longer name is another part", {{"Seat2", ""}}, {"Seat2"}},
        {"id matches where the name does not", {{"Cushion", "Leg_3"}}, {"Leg_3"}},
        {"several pairs select a node once",
         {{"Seat", "Seat"}, {"Chair_Seat", ""}},
         {"Chair_Seat", "Seat", "Arm_Seat_Seat"}},
        {"blank names and ids select nothing", {{"", ""}}, {}},
        {"no pairs", {}, {}},
        {"unknown part", {{"Table", "t1"}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = ModelNode::make();
        std::vector<std::shared_ptr<SCNNode>> nodes{part("Chair_Seat"), part("Seat"),          part("Seat2"),
                                                    part("Leg_3"),      part("Arm_Seat_Seat"), part(""),
                                                    part("Trailing_")};
        auto group = SCNNode::make();
        group->setName("Seat");  // selected, but has no geometry to re-colour
        group->addChildNode(nodes[0]);
        model->add({group, nodes[1], nodes[2], nodes[3], nodes[5], nodes[6]});
        model->addChildNode(nodes[4]);  // on the model itself, as attached models hang

        const auto m = named("M");
        model->assignMaterial(m, c.parts);
        std::set<std::string> recoloured;
        for (const auto& node : nodes) {
            const auto names = namesOf(node);
            if (names.front() == "M") recoloured.insert(node->name());
            EXPECT_EQ(names.size(), names.front() == "M" ? 3u : 2u)
                << node->name() << ": the new material goes first, once";
        }
        EXPECT_EQ(recoloured, c.recoloured);
        EXPECT_EQ(model->defaultMaterialsDictionary().size(), c.recoloured.size());
    }
}

TEST(ModelNodeMaterials, DefaultsAreCapturedOnceAndRestoredAfterEveryAssignment) {
    auto model = ModelNode::make();
    const auto a = named("A");
    const auto b = named("B");
    auto seat = part("Seat", {a, b});
    model->add({seat});
    const Parts parts{{"Seat", ""}};

    struct Step {
        std::shared_ptr<SCNMaterial> material;
        std::vector<std::string> expected;
    };
    const std::vector<Step> steps{
        {named("M"), {"M", "A", "B"}},
        {named("N"), {"N", "A", "B"}},
        {nullptr, {"A", "B"}},
        {named("M"), {"M", "A", "B"}},
    };
    for (const auto& step : steps) {
        model->assignMaterial(step.material, parts);
        EXPECT_EQ(namesOf(seat), step.expected);
    }
    EXPECT_EQ(model->defaultMaterialsDictionary().at(seat), (Materials{a, b}));
    model->assignMaterial(nullptr, parts);
    EXPECT_EQ(seat->geometry()->materials(), (Materials{a, b})) << "the very same default materials come back";

    // Three defaults give four materials; an absent material on an untouched part records its
    // materials and shows them unchanged.
    auto trio = part("Back", {named("X"), named("Y"), named("Z")});
    auto plain = part("Leg", {named("P")});
    model->add({trio, plain, SCNNode::make()});
    model->assignMaterial(named("M"), trio);
    EXPECT_EQ(namesOf(trio), (std::vector<std::string>{"M", "X", "Y", "Z"}));
    model->assignMaterial(nullptr, plain);
    EXPECT_EQ(namesOf(plain), (std::vector<std::string>{"P"}));
    EXPECT_EQ(model->defaultMaterialsDictionary().count(plain), 1u);
    model->assignMaterial(named("M"), SCNNode::make());  // no geometry: left alone, nothing recorded
    EXPECT_EQ(model->defaultMaterialsDictionary().size(), 3u);
}

TEST(ModelNodeMaterials, AnotherPlacementSharingTheGeometryKeepsItsMaterialsAndAssignsItsOwn) {
    auto first = ModelNode::make("first", "sofa");
    first->add({part("Sofa_Seat"), part("Sofa_Back")});
    const auto second = std::static_pointer_cast<ModelNode>(first->clone());
    const auto seatOf = [](const std::shared_ptr<ModelNode>& model) {
        return model->contentNode()->childNodeWithName("Sofa_Seat", false);
    };
    ASSERT_EQ(seatOf(first)->geometry(), seatOf(second)->geometry()) << "clones start out sharing the geometry";

    first->assignMaterial(named("M"), Parts{{"Seat", ""}});
    EXPECT_EQ(namesOf(seatOf(first)), (std::vector<std::string>{"M", "A", "B"}));
    EXPECT_EQ(namesOf(seatOf(second)), (std::vector<std::string>{"A", "B"}));

    // A clone of a re-coloured model keeps defaults keyed by its own parts and restores them.
    const auto third = std::static_pointer_cast<ModelNode>(first->clone());
    ASSERT_EQ(third->defaultMaterialsDictionary().count(seatOf(third)), 1u);
    third->assignMaterial(named("N"), Parts{{"Seat", ""}});
    EXPECT_EQ(namesOf(seatOf(third)), (std::vector<std::string>{"N", "A", "B"}));
    EXPECT_EQ(namesOf(seatOf(first)), (std::vector<std::string>{"M", "A", "B"}));
    third->assignMaterial(nullptr, Parts{{"Seat", ""}});
    EXPECT_EQ(namesOf(seatOf(third)), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(namesOf(seatOf(first)), (std::vector<std::string>{"M", "A", "B"}));
}

}  // namespace
}  // namespace vantrel
