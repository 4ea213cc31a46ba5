// The dimension display as drawn: labels readable over their plates, lines along the box's edges.

#include <gtest/gtest.h>

#include <glm/gtc/matrix_transform.hpp>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNText.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

using namespace render_test;

TEST(DimensionDisplay, LabelsShowTheirLettersOverTheirPlatesFacingTheCamera) {
    LitScene lit;
    auto model = ModelNode::make();
    auto box = SCNNode::make(SCNBox::make(0.9f, 0.6f, 0.5f));
    auto material = SCNMaterial::make();
    material->diffuse().setContents(UIColor(0.6, 0.6, 0.6));
    box->geometry()->setFirstMaterial(material);
    model->add({box});
    const UIColor plate(0.1, 0.3, 0.9);
    model->showSizes(plate, UIColor::whiteColor());
    lit.scene->rootNode()->addChildNode(model);
    const glm::vec3 eye(0.75f, 0.65f, 1.2f);
    lit.camera->setSimdTransform(glm::inverse(glm::lookAt(eye, glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f))));

    auto view = makeView(lit, 640, 480);
    view->setToneMapping(SCNToneMapping::none);  // plates and letters found by their exact colours
    view->setBackgroundColor(UIColor(0.85, 0.85, 0.85));
    auto image = picture(*view, "dimension_display");
    ASSERT_TRUE(image);

    // Around each label's centre: plate pixels and, on them, letter pixels. The width and height
    // labels face the camera; the depth label stands on the far side of the box, hidden by it.
    int legible = 0;
    for (const auto& node : model->shownSizesNode()->childNodes()) {
        if (node->childNodes().size() != 2 || !std::dynamic_pointer_cast<SCNText>(node->childNodes()[1]->geometry())) {
            continue;
        }
        const SCNVector3 at = view->projectPoint(node->worldPosition());
        int plates = 0;
        int letters = 0;
        for (int y = static_cast<int>(at.y) - 6; y <= static_cast<int>(at.y) + 6; ++y) {
            for (int x = static_cast<int>(at.x) - 20; x <= static_cast<int>(at.x) + 20; ++x) {
                const Pixel pixel = pixelAt(*image, x, y);
                plates += near(pixel, srgbByte(0.1), srgbByte(0.3), srgbByte(0.9), 12) ? 1 : 0;
                letters += near(pixel, 255, 255, 255, 24) ? 1 : 0;
            }
        }
        legible += plates > 40 && letters > 15 ? 1 : 0;
    }
    EXPECT_EQ(legible, 2);
}

}  // namespace
}  // namespace vantrel
