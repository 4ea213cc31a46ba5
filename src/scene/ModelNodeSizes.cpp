// The dimension display of a model: three measured lines along the edges of its resting box.

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include <glm/gtc/constants.hpp>

#include "vantrel/graph/SCNBillboardConstraint.hpp"
#include "vantrel/graph/SCNCone.hpp"
#include "vantrel/graph/SCNCylinder.hpp"
#include "vantrel/graph/SCNFont.hpp"
#include "vantrel/graph/SCNPlane.hpp"
#include "vantrel/graph/SCNText.hpp"
#include "vantrel/scene/ModelNode.hpp"

namespace vantrel {
namespace {

// Every size follows one unit, a five-hundredth of the box's diagonal, so that the display keeps its
// proportions on a cup as on a wardrobe.
constexpr float kUnitsPerDiagonal = 500.0f;
constexpr float kArrowheadLength = 9.0f;
constexpr float kArrowheadRadius = 3.0f;
constexpr int kShaftSegments = 4;
constexpr float kFontSize = 100.0f;
constexpr float kLetterDepthShare = 0.05f;
constexpr float kLabelMargin = 1.1f;
constexpr float kLabelCornerShare = 0.25f;
constexpr float kLabelScale = 0.25f;
// A platform font; where it is missing, SCNFont draws with its stand-in.
constexpr const char* kLabelFont = "Futura";
// Lengths come out of float arithmetic, so 0.7 m measures 0.69999998 m; one part in a million (a
// micrometre per metre) keeps such lengths from losing a whole millimetre when cut.
constexpr double kMeasuringAllowance = 1e-6;

struct DimensionLine {
    SCNVector3 start;
    SCNVector3 end;
};

std::shared_ptr<SCNMaterial> unlitMaterial(const UIColor& color) {
    auto material = SCNMaterial::make();
    material->setLightingModel(SCNLightingModel::constant);
    material->diffuse().setContents(color);
    return material;
}

// Turns `node` so that its +Y axis runs along `direction`, with the Euler order Ry·Rx·Rz: the pitch
// tips +Y towards +Z by the angle between the direction and +Y, the yaw then swings it round.
void turnAlong(SCNNode& node, const SCNVector3& direction) {
    const double x = direction.x;
    const double y = direction.y;
    const double z = direction.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0) || !std::isfinite(length)) {
        return;  // a line of no length has no direction: leave the node upright
    }
    const double tilt = std::asin(std::min(1.0, std::sqrt(x * x + z * z) / length));
    double pitch = y >= 0.0 ? tilt : glm::pi<double>() - tilt;
    if (z != 0.0) {
        pitch = std::copysign(pitch, z);
    }
    if (x == 0.0 && z == 0.0) {
        node.setEulerAngles({static_cast<float>(pitch), 0.0f, 0.0f});
        return;
    }
    // Rounding may push the ratio a hair past ±1 for a line along ±X; clamping keeps the sign, which
    // tells an arrowhead pointing to −X from one pointing to +X.
    const double ratio = std::clamp(x / (length * std::sin(pitch)), -1.0, 1.0);
    node.setEulerAngles({static_cast<float>(pitch), static_cast<float>(std::asin(ratio)), 0.0f});
}

std::string millimetreLabel(float length) {
    const double millimetres = static_cast<double>(length) * 1000.0;
    const auto whole = static_cast<long long>(std::floor(millimetres * (1.0 + kMeasuringAllowance)));
    return std::to_string(std::max(0LL, whole)) + " mm";
}

std::shared_ptr<SCNNode> makeLabel(const std::string& text, float unit, const UIColor& lineColor,
                                   const UIColor& textColor) {
    const float fontSize = kFontSize * unit;
    // The string goes in last: each setting rebuilds the letters, and an empty text is cheap to build.
    auto letters = std::make_shared<SCNText>(std::string(), kLetterDepthShare * fontSize);
    letters->setFont(SCNFont(kLabelFont, fontSize));
    letters->setChamferRadius(kLetterDepthShare * fontSize);
    letters->setAlignmentMode(SCNTextAlignmentMode::center);
    letters->setString(text);
    auto letterMaterial = unlitMaterial(textColor);
    letterMaterial->setDoubleSided(true);
    letters->setMaterials({letterMaterial});
    auto textNode = SCNNode::make(letters);

    const SCNBoundingBox textBox = textNode->boundingBox();
    auto background =
        SCNPlane::make(kLabelMargin * (textBox.max.x - textBox.min.x), kLabelMargin * (textBox.max.y - textBox.min.y));
    background->setCornerRadius(kLabelCornerShare * background->height());
    background->setMaterials({unlitMaterial(lineColor)});
    auto backgroundNode = SCNNode::make(background);

    // Letters start at their baseline's origin; centring them on the plane needs their own centre.
    textNode->setPosition(backgroundNode->boundingSphere().center - textNode->boundingSphere().center);

    auto label = SCNNode::make();
    label->addChildNode(backgroundNode);
    label->addChildNode(textNode);
    label->setConstraints({SCNBillboardConstraint::make(SCNBillboardAxis::Y)});
    label->setScale(SCNVector3Uniform(kLabelScale));
    return label;
}

void addDimensionLine(SCNNode& container, const DimensionLine& line, float unit,
                      const std::shared_ptr<SCNMaterial>& lineMaterial, const UIColor& lineColor,
                      const UIColor& textColor) {
    const SCNVector3 direction = line.end - line.start;
    const float length = direction.length();
    const SCNVector3 along = direction.normalized();
    const SCNVector3 middle = (line.start + line.end) * 0.5f;

    auto shaftGeometry = SCNCylinder::make(unit, std::max(0.0f, length - 2.0f * kArrowheadLength * unit));
    shaftGeometry->setRadialSegmentCount(kShaftSegments);
    shaftGeometry->setMaterials({lineMaterial});
    auto shaft = SCNNode::make(shaftGeometry);
    shaft->setPosition(middle);
    turnAlong(*shaft, direction);
    container.addChildNode(shaft);

    // Each cone's tip lies half its length beyond its centre, so centring it half a length inside the
    // line puts the tips exactly on the line's ends.
    const float halfHead = 0.5f * kArrowheadLength * unit;
    const std::array<std::pair<float, SCNVector3>, 2> heads{{
        {halfHead, direction.negate()},
        {length - halfHead, direction},
    }};
    for (const auto& [distance, pointing] : heads) {
        auto headGeometry = SCNCone::make(0.0f, kArrowheadRadius * unit, kArrowheadLength * unit);
        headGeometry->setMaterials({lineMaterial});
        auto head = SCNNode::make(headGeometry);
        head->setPosition(line.start + along * distance);
        turnAlong(*head, pointing);
        container.addChildNode(head);
    }

    auto label = makeLabel(millimetreLabel(length), unit, lineColor, textColor);
    label->setPosition(middle);
    container.addChildNode(label);
}

}  // namespace

bool ModelNode::isSizesShown() const { return shownSizesNode_->parentNode() != nullptr; }

void ModelNode::hideSizes() {
    shownSizesNode_->removeFromParentNode();
    while (!shownSizesNode_->childNodes().empty()) {
        shownSizesNode_->childNodes().back()->removeFromParentNode();
    }
}

void ModelNode::showSizes(const UIColor& lineColor, const UIColor& textColor) {
    hideSizes();
    // Measured at rest and in the model's coordinates, where the display hangs: a levitating model
    // keeps bobbing above lines that show where it will stand.
    const SCNBoundingBox box = restingContentBox();
    const SCNVector3& lo = box.min;
    const SCNVector3& hi = box.max;
    const float unit = (hi - lo).length() / kUnitsPerDiagonal;
    const std::array<DimensionLine, 3> lines{{
        {{hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}},  // width
        {{lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z}},  // depth
        {{lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}},  // height
    }};
    const auto lineMaterial = unlitMaterial(lineColor);
    for (const auto& line : lines) {
        addDimensionLine(*shownSizesNode_, line, unit, lineMaterial, lineColor, textColor);
    }
    // Lines and labels are read, not stood on the floor: they throw no shadow.
    const auto drawn = shownSizesNode_->childNodesPassingTest([](const SCNNode&, bool&) { return true; });
    for (const auto& node : drawn) node->setCastsShadow(false);
    addChildNode(shownSizesNode_);
}

}  // namespace vantrel
