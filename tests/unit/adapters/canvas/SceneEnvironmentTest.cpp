// Environment names, the light sets around the content and the lighting environment of a scene record.

#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "unit/adapters/canvas/CanvasTestSupport.hpp"
#include "unit/domain/RecordTestSupport.hpp"
#include "unit/graph/GraphTestSupport.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNLookAtConstraint.hpp"

namespace vantrel {
namespace {

using canvas_test::boxModel;
using canvas_test::Canvas;
using canvas_test::drainMain;
using graph_test::near;

std::vector<std::string> lightNamesInScene(const CanvasAdapter& adapter) {
    std::vector<std::string> names;
    for (const auto& child : adapter.scene()->rootNode()->childNodes()) {
        if (child->light() || child->name() == "lightsLookAtCenterNode") names.push_back(child->name());
    }
    return names;
}

TEST(SceneEnvironment, RawValuesAreLocalizedAndOnlyCaseNamesReadBack) {
    struct Case {
        SceneEnvironment environment;
        const char* caseName;
        const char* text;
    };
    const Case cases[] = {{SceneEnvironment::basicLight, "basicLight", "Light"},
                          {SceneEnvironment::basicDark, "basicDark", "Dark"},
                          {SceneEnvironment::studio, "studio", "Studio"}};
    ASSERT_EQ(allSceneEnvironments.size(), std::size(cases));
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& c = cases[index];
        EXPECT_EQ(allSceneEnvironments[index], c.environment);
        EXPECT_EQ(rawValue(c.environment), c.text);
        EXPECT_EQ(sceneEnvironmentFromRawValue(c.caseName), c.environment);
        EXPECT_EQ(sceneEnvironmentFromRawValue(c.text), std::nullopt) << "a localized text is no case name";
    }
    EXPECT_EQ(sceneEnvironmentFromRawValue("Studio "), std::nullopt);
    EXPECT_EQ(sceneEnvironmentFromRawValue(""), std::nullopt);
}

TEST(SceneEnvironment, LightsAreLaidAroundTheContentSphereAndReusedAcrossSwitches) {
    Canvas canvas;
    auto& adapter = *canvas.adapter;
    EXPECT_TRUE(adapter.lightsDictionary().empty()) << "no lights before the content changes";

    adapter.addModel(boxModel("m1"));
    const auto sphere = adapter.contentNode()->boundingSphere();
    const auto omni = adapter.lightsDictionary().at(SceneEnvironment::basicLight);
    ASSERT_EQ(omni.size(), 2u);
    const SCNVector3 diagonal{10.0f * sphere.radius, 10.0f * sphere.radius, 10.0f * sphere.radius};
    EXPECT_TRUE(near(omni[0]->position(), sphere.center + diagonal, 1e-4f));
    EXPECT_TRUE(near(omni[1]->position(), sphere.center - diagonal, 1e-4f));
    EXPECT_EQ(omni[0]->light()->intensity(), 500.0);
    EXPECT_EQ(lightNamesInScene(adapter), (std::vector<std::string>{"lightNode_omni_1", "lightNode_omni_2"}));

    adapter.setSceneEnvironment(SceneEnvironment::studio);
    const auto studio = adapter.lightsDictionary().at(SceneEnvironment::studio);
    EXPECT_EQ(lightNamesInScene(adapter),
              (std::vector<std::string>{"lightsLookAtCenterNode", "lightNode_main", "lightNode_fill",
                                        "lightNode_back_1", "lightNode_back_2"}));
    EXPECT_TRUE(near(studio[1]->position(), sphere.center + SCNVector3{0.0f, sphere.radius, 4.0f * sphere.radius}));
    EXPECT_EQ(studio[1]->light()->type(), SCNLightType::directional);
    for (std::size_t index = 1; index < studio.size(); ++index) {
        ASSERT_EQ(studio[index]->constraints().size(), 1u);
        const auto lookAt = std::dynamic_pointer_cast<SCNLookAtConstraint>(studio[index]->constraints().front());
        ASSERT_TRUE(lookAt);
        EXPECT_EQ(lookAt->target(), studio.front());
    }
    EXPECT_EQ(canvas.view->backgroundColor(), UIColor::whiteColor());

    adapter.setSceneEnvironment(SceneEnvironment::basicDark);
    EXPECT_EQ(canvas.view->backgroundColor(), UIColor::lightGrayColor());
    EXPECT_EQ(lightNamesInScene(adapter), (std::vector<std::string>{"lightNode_omni_1", "lightNode_omni_2"}));
    adapter.setSceneEnvironment(SceneEnvironment::studio);
    EXPECT_EQ(adapter.lightsDictionary().at(SceneEnvironment::studio), studio) << "the stored nodes come back";

    // Setting the current environment again re-lays the same lights around the new content.
    adapter.addModel(boxModel("m2"));
    adapter.setSceneEnvironment(SceneEnvironment::studio);
    EXPECT_EQ(lightNamesInScene(adapter).size(), 5u);
    EXPECT_TRUE(near(studio.front()->position(), adapter.contentNode()->boundingSphere().center, 1e-5f));
}

TEST(SceneEnvironment, ARecordsLightingEnvironmentReachesTheSceneOnTheMainQueue) {
    struct Case {
        const char* what;
        nlohmann::json fields;
        std::optional<UIColor> contents;
        double intensity;
    };
    const Case cases[] = {
        {"colour", {{"lightingEnvironment", {{"rgbHexCode", "#ff0000"}, {"intensity", 2}}}}, UIColor(1, 0, 0, 1), 2.0},
        {"no environment resets the scene to the studio", nlohmann::json::object(), std::nullopt, 1.0},
    };
    for (const auto& c : cases) {
        const auto scene = SCNScene::make();
        scene->lightingEnvironment().setContents(UIColor::blueColor());
        scene->lightingEnvironment().setIntensity(7.0);
        const auto record = test::recordFromServer<SceneEntity>(c.fields);
        std::optional<SCNMaterialProperty> received;
        // Started off the main thread, as the adapters do.
        std::thread([&] {
            assignLightingEnvironment(scene, record, [&](auto property, OptionalError) { received = property; });
        }).join();
        EXPECT_EQ(scene->lightingEnvironment().intensity(), 7.0) << "not before the main queue runs";
        drainMain();
        ASSERT_TRUE(received) << c.what;
        EXPECT_EQ(scene->lightingEnvironment().contentsColor(), c.contents) << c.what;
        EXPECT_EQ(scene->lightingEnvironment().contentsImage() != nullptr, !c.contents) << c.what;
        EXPECT_EQ(scene->lightingEnvironment().intensity(), c.intensity) << c.what;
    }

    const auto scene = SCNScene::make();
    scene->lightingEnvironment().setContents(UIColor::blueColor());
    bool called = false;
    assignLightingEnvironment(scene, nullptr,
                              [&](auto property, OptionalError error) { called = !property && !error; });
    EXPECT_TRUE(called) << "without a record: nothing, at once";
    EXPECT_EQ(scene->lightingEnvironment().contentsColor(), UIColor::blueColor());
}

}  // namespace
}  // namespace vantrel
