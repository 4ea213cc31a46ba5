// The glTF extensions of the shared models as they arrive in the scene graph: material layers,
// texture transforms, punctual lights and material variants on a model node.

#include "support/GltfTestFiles.hpp"
#include "support/ModelArchives.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/scene/ModelNode.hpp"

#include <gtest/gtest.h>
#include <glm/gtc/matrix_transform.hpp>

#include <map>

using vantrel::SCNMaterial;
using vantrel::SCNNode;

namespace {

std::shared_ptr<vantrel::SCNScene> load(const std::string& folder) {
    vantrel::OptionalError error;
    auto scene = vantrel::SCNSceneSource::make(vantrel::test::modelFileOf(folder))->sceneWithOptions(std::nullopt, {}, &error);
    EXPECT_TRUE(scene) << (error ? error->message : "");
    return scene;
}

std::vector<std::shared_ptr<SCNNode>> nodesOf(const vantrel::SCNScene& scene) {
    return scene.rootNode()->childNodesPassingTest([](const SCNNode&, bool&) { return true; });
}

/// Every material the scene's geometries show, and every one their variants offer, by name.
std::map<std::string, std::shared_ptr<SCNMaterial>> materialsOf(const vantrel::SCNScene& scene) {
    std::map<std::string, std::shared_ptr<SCNMaterial>> byName;
    for (const auto& node : nodesOf(scene)) {
        if (!node->geometry()) continue;
        for (const auto& m : node->geometry()->materials()) byName.emplace(m->name(), m);
        for (const auto& [variant, materials] : node->geometry()->materialVariants())
            for (const auto& m : materials) byName.emplace(m->name(), m);
    }
    return byName;
}

void expectColor(const vantrel::SCNMaterialProperty& property, double r, double g, double b) {
    const auto color = property.contentsColor();
    ASSERT_TRUE(color);
    EXPECT_NEAR(color->red(), r, 1e-6);
    EXPECT_NEAR(color->green(), g, 1e-6);
    EXPECT_NEAR(color->blue(), b, 1e-6);
    EXPECT_EQ(property.colorContentsSpace(), vantrel::SCNColorSpace::linear);
}

std::shared_ptr<vantrel::ModelNode> modelOf(const std::string& folder) {
    auto model = vantrel::ModelNode::make();
    const auto scene = load(folder);
    const auto nodes = scene->rootNode()->childNodes();  // a copy: adding takes them from the root
    model->add(nodes);
    return model;
}

std::vector<std::string> shownMaterials(const vantrel::ModelNode& model, const std::string& part) {
    std::vector<std::string> names;
    for (const auto& node : model.childNodesPassingTest([&](const SCNNode& n, bool&) { return n.name() == part; }))
        for (const auto& m : node->geometry()->materials()) names.push_back(m->name());
    return names;
}

}  // namespace

TEST(GltfExtensionsTest, SheenSpecularAndTextureTransformsOfTheSofaReachItsMaterials) {
    const auto materials = materialsOf(*load("GlamVelvetSofa"));
    ASSERT_TRUE(materials.count("GlamVelvetSofa_fabric_navy"));
    const auto& navy = *materials.at("GlamVelvetSofa_fabric_navy");
    expectColor(navy.sheen(), 0.05, 0.17, 0.5);
    EXPECT_DOUBLE_EQ(navy.sheenRoughness().contentsNumber().value_or(-1), 0.6);
    expectColor(navy.dielectricSpecularColor(), 0.1, 0.34, 1.0);
    expectColor(navy.diffuse(), 0.01, 0.01, 0.01);
    // The normal map tiles five times, turned by 0.36 radians, and is 0.75 strong.
    ASSERT_TRUE(navy.normal().contentsImage());
    const auto& m = navy.normal().contentsTransform();
    EXPECT_NEAR(glm::length(glm::vec2(m[0])), 5.0f, 1e-5f);
    EXPECT_NEAR(std::atan2(m[0][1], m[0][0]), 0.36f, 1e-5f);
    EXPECT_DOUBLE_EQ(navy.normal().intensity(), 0.75);
}

TEST(GltfExtensionsTest, TheChairsFabricTilesSevenTimesFromItsOffset) {
    const auto materials = materialsOf(*load("SheenChair"));
    const auto& fabric = *materials.at("fabric Mystere Mango Velvet");
    ASSERT_TRUE(fabric.diffuse().contentsImage());
    const auto& m = fabric.diffuse().contentsTransform();
    const glm::vec4 corner = m * glm::vec4(1, 1, 0, 1);
    EXPECT_FLOAT_EQ(corner.x, -3.0f + 7.0f);
    EXPECT_FLOAT_EQ(corner.y, 3.0f + 7.0f);
    // The factor tints the texture, in linear light.
    const auto tint = fabric.diffuse().tintColor();
    EXPECT_NEAR(tint.red(), 0.883, 1e-3);
    EXPECT_NEAR(tint.green(), 0.035, 1e-3);
    EXPECT_EQ(fabric.diffuse().colorContentsSpace(), vantrel::SCNColorSpace::linear);
    EXPECT_TRUE(fabric.multiply().contentsColor().has_value()) << "the multiply property stays white";
    expectColor(fabric.sheen(), 1.0, 0.329, 0.1);
    // The label's occlusion reads the second coordinate set (texCoord overridden by the transform).
    EXPECT_EQ(materials.at("label")->ambientOcclusion().mappingChannel(), 1);
}

TEST(GltfExtensionsTest, TheVaseTransmitsThroughAThicknessAndTheCarHasAClearCoat) {
    const auto vase = materialsOf(*load("GlassVaseFlowers"));
    const auto& glass = *vase.at("GlassTransmission");
    EXPECT_DOUBLE_EQ(glass.transmission().contentsNumber().value_or(-1), 1.0);
    ASSERT_TRUE(glass.thickness().contentsImage()) << "thickness comes from a texture";
    EXPECT_DOUBLE_EQ(glass.thickness().intensity(), 0.075);
    EXPECT_TRUE(std::isinf(glass.attenuationDistance()));
    EXPECT_DOUBLE_EQ(glass.indexOfRefraction(), 1.5);

    const auto car = materialsOf(*load("ToyCar"));
    const auto& body = *car.at("ToyCar");
    ASSERT_TRUE(body.clearCoat().contentsImage());
    EXPECT_DOUBLE_EQ(body.clearCoat().intensity(), 1.0);
    EXPECT_DOUBLE_EQ(body.clearCoatRoughness().contentsNumber().value_or(-1), 0.0);
    EXPECT_DOUBLE_EQ(car.at("Glass")->transmission().contentsNumber().value_or(-1), 1.0);
    expectColor(car.at("Fabric")->sheen(), 1.0, 0.0, 0.0);
    EXPECT_DOUBLE_EQ(car.at("Fabric")->sheenRoughness().contentsNumber().value_or(-1), 0.5);
}

// The graph's 1000 is the renderer's unit strength, which a physical light of π gives.
constexpr double kPerPhysicalUnit = 1000.0 / M_PI;

TEST(GltfExtensionsTest, PunctualLightsKeepTheirPhysicalUnitsAndRange) {
    const auto scene = load("LightsPunctualLamp");
    std::map<std::string, std::shared_ptr<vantrel::SCNLight>> lights;
    for (const auto& node : nodesOf(*scene))
        if (node->light()) lights.emplace(node->light()->name(), node->light());
    ASSERT_EQ(lights.size(), 5u);
    EXPECT_EQ(lights.at("Point")->type(), vantrel::SCNLightType::omni);
    EXPECT_NEAR(lights.at("Point")->intensity() / kPerPhysicalUnit, 15.0, 1e-9) << "candela";
    EXPECT_NEAR(lights.at("Point.004")->intensity() / kPerPhysicalUnit, 180.0, 1e-9);
    EXPECT_TRUE(lights.at("Point")->attenuatesWithInverseSquare());
    EXPECT_NEAR(lights.at("Point")->color().green(), 0.6318749785423279, 1e-9);
    EXPECT_DOUBLE_EQ(lights.at("Point")->attenuationEndDistance(), 0.0) << "no range: no end";

    // A spot light with a range, made for the purpose.
    vantrel::test::ScratchFolder folder("gltf-lights");
    folder.write("triangle.bin", vantrel::test::triangleBuffer());
    auto document = vantrel::test::triangleDocument("triangle.bin");
    document["extensionsUsed"] = {"KHR_lights_punctual"};
    document["extensions"]["KHR_lights_punctual"]["lights"] = {
        {{"name", "spot"}, {"type", "spot"}, {"intensity", 40}, {"range", 5.0},
         {"spot", {{"innerConeAngle", 0.25}, {"outerConeAngle", 0.5}}}},
        {{"name", "sun"}, {"type", "directional"}, {"intensity", 2.5}}};
    document["nodes"][0]["children"] = {1, 2};
    document["nodes"].push_back({{"extensions", {{"KHR_lights_punctual", {{"light", 0}}}}}});
    document["nodes"].push_back({{"extensions", {{"KHR_lights_punctual", {{"light", 1}}}}}});
    vantrel::SCNSceneSourceOptions centimetres;
    centimetres.convertUnitsToMeters = 0.01;
    const auto made = vantrel::SCNSceneSource::make(folder.write("lights.gltf", document.dump()), centimetres)
                          ->sceneWithOptions(std::nullopt, {}, nullptr);
    ASSERT_TRUE(made);
    lights.clear();
    for (const auto& node : nodesOf(*made))
        if (node->light()) lights.emplace(node->light()->name(), node->light());
    const auto& spot = *lights.at("spot");
    EXPECT_EQ(spot.type(), vantrel::SCNLightType::spot);
    EXPECT_NEAR(spot.intensity() / kPerPhysicalUnit, 40.0, 1e-9);
    EXPECT_DOUBLE_EQ(spot.attenuationEndDistance(), 0.05) << "the range in meters";
    EXPECT_TRUE(spot.attenuatesWithInverseSquare());
    EXPECT_NEAR(spot.spotOuterAngle(), 2 * 0.5 * 180 / M_PI, 1e-9);
    EXPECT_NEAR(spot.spotInnerAngle(), 2 * 0.25 * 180 / M_PI, 1e-9);
    EXPECT_EQ(lights.at("sun")->type(), vantrel::SCNLightType::directional);
    EXPECT_NEAR(lights.at("sun")->intensity() / kPerPhysicalUnit, 2.5, 1e-9) << "lux";
    EXPECT_FALSE(lights.at("sun")->attenuatesWithInverseSquare()) << "sunlight does not fall off";
}

TEST(GltfExtensionsTest, TheChairAndTheSofaOfferTheirVariantsAndAModelAppliesAndUndoesThem) {
    const auto chair = modelOf("SheenChair");
    EXPECT_EQ(chair->materialVariantNames(), (std::vector<std::string>{"Mango Velvet", "Peacock Velvet"}));
    const auto fabric = shownMaterials(*chair, "SheenChair_fabric");
    EXPECT_EQ(fabric, std::vector<std::string>{"fabric Mystere Mango Velvet"});
    ASSERT_TRUE(chair->applyMaterialVariant("Peacock Velvet"));
    EXPECT_EQ(chair->appliedMaterialVariant(), "Peacock Velvet");
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_fabric"), std::vector<std::string>{"fabric Mystere Peacock Velvet"});
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_wood"), std::vector<std::string>{"wood Black"});
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_metal"), std::vector<std::string>{"metal"}) << "parts without variants";

    // A re-colouring by tag stays in front of the variant, and each is undone on its own.
    const auto paint = SCNMaterial::make();
    paint->setName("paint");
    chair->assignMaterial(paint, vantrel::ModelNode::NodeNamesOrNodeIds{{"fabric", ""}});
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_fabric"),
              (std::vector<std::string>{"paint", "fabric Mystere Peacock Velvet"}));
    ASSERT_TRUE(chair->applyMaterialVariant(std::nullopt));
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_fabric"), (std::vector<std::string>{"paint", "fabric Mystere Mango Velvet"}));
    chair->assignMaterial(nullptr, vantrel::ModelNode::NodeNamesOrNodeIds{{"fabric", ""}});
    EXPECT_EQ(shownMaterials(*chair, "SheenChair_fabric"), fabric);
    EXPECT_FALSE(chair->applyMaterialVariant("Velvet of no one"));
    EXPECT_FALSE(chair->appliedMaterialVariant());

    const auto sofa = modelOf("GlamVelvetSofa");
    const std::vector<std::string> five{"Champagne", "Navy", "Gray", "Black", "Pale Pink"};
    ASSERT_EQ(sofa->materialVariantNames(), five);
    const auto navy = std::vector<std::string>{"GlamVelvetSofa_fabric_navy"};
    EXPECT_EQ(shownMaterials(*sofa, "GlamVelvetSofa_fabric"), navy) << "the file's own choice";
    const std::vector<std::string> fabrics{"champagne", "navy", "gray", "black", "palepink"};
    for (std::size_t i = 0; i < five.size(); ++i) {
        ASSERT_TRUE(sofa->applyMaterialVariant(five[i]));
        EXPECT_EQ(shownMaterials(*sofa, "GlamVelvetSofa_fabric"),
                  std::vector<std::string>{"GlamVelvetSofa_fabric_" + fabrics[i]});
        EXPECT_EQ(shownMaterials(*sofa, "GlamVelvetSofa_legs"), std::vector<std::string>{"GlamVelvetSofa_legs"});
    }
    // A clone shows and remembers the variant.
    const auto copy = std::dynamic_pointer_cast<vantrel::ModelNode>(sofa->clone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->appliedMaterialVariant(), "Pale Pink");
    ASSERT_TRUE(copy->applyMaterialVariant(std::nullopt));
    EXPECT_EQ(shownMaterials(*copy, "GlamVelvetSofa_fabric"), navy);
    EXPECT_EQ(shownMaterials(*sofa, "GlamVelvetSofa_fabric"), std::vector<std::string>{"GlamVelvetSofa_fabric_palepink"});
}
