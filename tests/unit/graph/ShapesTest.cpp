// The built-in shapes and the mesh checks of geometries.

#include <cmath>

#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCone.hpp"
#include "vantrel/graph/SCNCylinder.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNPlane.hpp"

namespace vantrel {
namespace {

using graph_test::near;

// Every triangle's winding must agree with the normals stored at its corners (front faces outwards).
void expectWindingMatchesNormals(const SCNGeometry& geometry) {
    const auto& source = geometry.source();
    for (const auto& element : geometry.elements()) {
        for (std::size_t i = 0; i + 2 < element.indices.size(); i += 3) {
            const glm::vec3 a = source.vertices[element.indices[i]];
            const glm::vec3 b = source.vertices[element.indices[i + 1]];
            const glm::vec3 c = source.vertices[element.indices[i + 2]];
            const glm::vec3 faceNormal = glm::cross(b - a, c - a);
            const glm::vec3 stored = source.normals[element.indices[i]];
            EXPECT_GT(glm::dot(faceNormal, stored), 0.0f) << "triangle " << i / 3;
        }
    }
}

TEST(Shapes, BoxIsCentredWithSixFacesWoundOutwards) {
    SCNBox box(2, 4, 6);
    EXPECT_TRUE(near(box.boundingBox().min, {-1, -2, -3}));
    EXPECT_TRUE(near(box.boundingBox().max, {1, 2, 3}));
    EXPECT_EQ(box.elements().size(), 6u);
    EXPECT_EQ(box.triangleCount(), 12u);
    expectWindingMatchesNormals(box);
    box.setWidth(-3);  // refused sizes become 0 rather than inverting the box
    EXPECT_EQ(box.width(), 0.0f);
}

TEST(Shapes, PlaneWithCornerRadiusKeepsItsExtentAndRoundsItsCorners) {
    SCNPlane plane(2, 1);
    plane.setCornerRadius(0.25f);
    EXPECT_TRUE(near(plane.boundingBox().min, {-1, -0.5f, 0}));
    EXPECT_TRUE(near(plane.boundingBox().max, {1, 0.5f, 0}));
    expectWindingMatchesNormals(plane);
    // No vertex reaches into the cut-away corner.
    for (const auto& v : plane.source().vertices) {
        const float dx = std::max(std::abs(v.x) - 0.75f, 0.0f);
        const float dy = std::max(std::abs(v.y) - 0.25f, 0.0f);
        EXPECT_LE(std::sqrt(dx * dx + dy * dy), 0.25f + 1e-5f);
    }
    plane.setCornerRadius(10);  // larger than the plane: becomes a stadium, not a broken mesh
    EXPECT_TRUE(near(plane.boundingBox().max, {1, 0.5f, 0}));
}

TEST(Shapes, CylinderAndConeStandOnTheYAxis) {
    SCNCylinder shaft(0.01f, 0.5f);
    shaft.setRadialSegmentCount(4);
    EXPECT_TRUE(near(shaft.boundingBox().min, {-0.01f, -0.25f, -0.01f}));
    EXPECT_TRUE(near(shaft.boundingBox().max, {0.01f, 0.25f, 0.01f}));
    EXPECT_EQ(shaft.elements().size(), 3u);
    expectWindingMatchesNormals(shaft);
    shaft.setRadialSegmentCount(1);
    EXPECT_EQ(shaft.radialSegmentCount(), 3);

    SCNCone arrow(0, 0.03f, 0.09f);
    EXPECT_EQ(arrow.elements().size(), 2u) << "no top cap on a pointed cone";
    EXPECT_TRUE(near(arrow.boundingBox().max, {0.03f, 0.045f, 0.03f}));
    expectWindingMatchesNormals(arrow);
    // The apex is a single point on the axis.
    float topRadius = 0;
    for (const auto& v : arrow.source().vertices) {
        if (v.y > 0.04f) {
            topRadius = std::max(topRadius, std::hypot(v.x, v.z));
        }
    }
    EXPECT_LT(topRadius, 1e-6f);
}

TEST(Shapes, FloorHasNoBoundsUntilGivenAnExtent) {
    SCNFloor floor;
    EXPECT_TRUE(floor.isEndless());
    EXPECT_FALSE(floor.hasBounds());
    EXPECT_DOUBLE_EQ(floor.reflectivity(), 0.25);
    floor.setWidth(4);
    floor.setLength(2);
    EXPECT_TRUE(near(floor.boundingBox().max, {2, 0, 1}));
    expectWindingMatchesNormals(floor);
}

TEST(GeometryMesh, DropsIndicesAndAttributesThatDoNotFitThePositions) {
    SCNGeometrySource source;
    source.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    source.normals = {{0, 0, 1}};  // one normal for three positions: unusable
    source.textureCoordinates = {{{0, 0}, {1, 0}, {0, 1}}, {{0, 0}}};
    SCNGeometryElement element;
    element.indices = {0, 1, 2, 0, 1, 7, 2, 1};  // second triangle points past the end, then a cut-off one
    const auto geometry = SCNGeometry::make(source, {element});
    EXPECT_EQ(geometry->elements().at(0).indices, (std::vector<std::uint32_t>{0, 1, 2}));
    EXPECT_TRUE(geometry->source().normals.empty());
    EXPECT_EQ(geometry->source().textureCoordinates.size(), 1u);
    EXPECT_EQ(geometry->triangleCount(), 1u);
}

TEST(GeometryMaterials, ElementsTakeMaterialsInTurnAndCopiesShareTheMesh) {
    SCNBox box(1, 1, 1);
    ASSERT_NE(box.firstMaterial(), nullptr) << "shapes come with a material to dress";
    EXPECT_EQ(box.firstMaterial()->diffuse().contentsColor(), UIColor::whiteColor());
    EXPECT_EQ(SCNGeometry::make({}, {})->materialForElement(3), nullptr);
    const auto red = SCNMaterial::make();
    const auto blue = SCNMaterial::make();
    box.setMaterials({red, nullptr, blue});
    EXPECT_EQ(box.materials().size(), 2u);
    EXPECT_EQ(box.materialForElement(0), red);
    EXPECT_EQ(box.materialForElement(5), blue);

    const auto copy = box.copy();
    EXPECT_EQ(copy->mesh(), box.mesh());
    EXPECT_NE(std::dynamic_pointer_cast<SCNBox>(copy), nullptr);
    copy->setFirstMaterial(blue);
    EXPECT_EQ(box.firstMaterial(), red) << "a copy has its own material list";
    copy->setFirstMaterial(nullptr);
    EXPECT_EQ(copy->materials().size(), 1u);
}

}  // namespace
}  // namespace vantrel
