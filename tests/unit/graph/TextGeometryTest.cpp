// Extruded text and the filling of letter outlines.

#include <cmath>
#include <numeric>

#include <gtest/gtest.h>

#include "GraphTestSupport.hpp"
#include "graph/PolygonTriangulator.hpp"
#include "vantrel/graph/SCNText.hpp"

namespace vantrel {
namespace {

using graph_internal::prepareContours;
using graph_internal::triangulate;

double filledArea(const graph_internal::PreparedContours& prepared, const std::vector<std::uint32_t>& triangles) {
    std::vector<glm::dvec2> points;
    for (const auto& contour : prepared.contours) {
        points.insert(points.end(), contour.begin(), contour.end());
    }
    double area = 0.0;
    for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
        const glm::dvec2 a = points[triangles[i]];
        const glm::dvec2 b = points[triangles[i + 1]];
        const glm::dvec2 c = points[triangles[i + 2]];
        const double twice = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        EXPECT_GT(twice, 0.0) << "every triangle counter-clockwise";
        area += twice / 2.0;
    }
    return area;
}

TEST(OutlineFilling, SquareWithAHoleIsFilledExactlyWhateverTheWinding) {
    const std::vector<glm::dvec2> outer{{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    const std::vector<glm::dvec2> hole{{1, 1}, {3, 1}, {3, 3}, {1, 3}};
    for (bool reverseOuter : {false, true}) {
        for (bool reverseHole : {false, true}) {
            auto o = outer;
            auto h = hole;
            if (reverseOuter) std::reverse(o.begin(), o.end());
            if (reverseHole) std::reverse(h.begin(), h.end());
            const auto prepared = prepareContours({h, o});
            ASSERT_EQ(prepared.parent, (std::vector<int>{1, -1}));
            EXPECT_NEAR(filledArea(prepared, triangulate(prepared)), 12.0, 1e-9);
        }
    }
}

TEST(OutlineFilling, ConcaveShapesTwoHolesIslandsAndJunk) {
    // An "E"-like comb: concave, 12 corners.
    const std::vector<glm::dvec2> comb{{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 2}, {3, 2},
                                       {3, 3}, {1, 3}, {1, 4}, {3, 4}, {3, 5}, {0, 5}};
    auto prepared = prepareContours({comb});
    EXPECT_NEAR(filledArea(prepared, triangulate(prepared)), 11.0, 1e-9);

    // Two holes side by side, and an island inside one of them (like "8" with a dot): 40 − 2·6 + 1.
    const std::vector<glm::dvec2> frame{{0, 0}, {10, 0}, {10, 4}, {0, 4}};
    const std::vector<glm::dvec2> holeA{{1, 1}, {4, 1}, {4, 3}, {1, 3}};
    const std::vector<glm::dvec2> holeB{{6, 1}, {9, 1}, {9, 3}, {6, 3}};
    const std::vector<glm::dvec2> island{{2, 1.5}, {3, 1.5}, {3, 2.5}, {2, 2.5}};
    prepared = prepareContours({frame, holeA, holeB, island});
    EXPECT_NEAR(filledArea(prepared, triangulate(prepared)), 29.0, 1e-9);

    // Degenerate input is dropped, not crashed on.
    prepared = prepareContours(
        {{{0, 0}, {1, 1}}, {{0, 0}, {1, 1}, {2, 2}}, {{0, 0}, {0, 0}, {0, 0}}, {{std::nan(""), 0}, {1, 0}, {0, 1}}});
    EXPECT_TRUE(prepared.contours.empty());
    EXPECT_TRUE(triangulate(prepared).empty());
}

// The tests below draw with the DejaVu font that stands in for platform fonts; without it text is empty.
bool fontAvailable() { return SCNFont("Futura", 1).resolvedFile().has_value(); }

TEST(TextGeometry, LabelIsExtrudedCentredOnZAndScalesWithTheFont) {
    if (!fontAvailable()) {
        GTEST_SKIP() << "no DejaVu font installed";
    }
    SCNText label("1000 mm", 0.05f);
    label.setFont(SCNFont("Futura", 1.0));
    const SCNBoundingBox box = label.boundingBox();
    EXPECT_NEAR(box.min.z, -0.025f, 1e-6f);
    EXPECT_NEAR(box.max.z, 0.025f, 1e-6f);
    EXPECT_GT(box.max.x - box.min.x, 3.0f) << "seven characters of about half an em";
    EXPECT_GT(box.max.y, 0.6f) << "digits rise well above the baseline";
    EXPECT_GE(box.min.x, -0.1f);
    EXPECT_EQ(label.elements().size(), 3u) << "front, back, sides";

    SCNText bigger("1000 mm", 0.05f);
    bigger.setFont(SCNFont("Futura", 2.0));
    EXPECT_NEAR(bigger.boundingBox().max.x, box.max.x * 2.0f, 1e-3f);
}

TEST(TextGeometry, ChamferShrinksTheFacesButNotTheOutline) {
    if (!fontAvailable()) {
        GTEST_SKIP() << "no DejaVu font installed";
    }
    SCNText plain("O", 0.2f);
    SCNText chamfered("O", 0.2f);
    chamfered.setChamferRadius(0.05f);
    ASSERT_EQ(chamfered.elements().size(), 5u) << "plus the two chamfer bands";
    const SCNBoundingBox a = plain.boundingBox();
    const SCNBoundingBox b = chamfered.boundingBox();
    EXPECT_NEAR(b.max.x, a.max.x, 1e-4f);
    EXPECT_NEAR(b.max.z, a.max.z, 1e-6f);
    // The front face lies inside the letter's outline.
    float frontReach = 0.0f;
    const auto& source = chamfered.source();
    for (std::uint32_t i : chamfered.elements()[0].indices) {
        frontReach = std::max(frontReach, source.vertices[i].x);
    }
    EXPECT_LT(frontReach, a.max.x - 0.03f);

    chamfered.setChamferRadius(5.0f);  // more than half the depth: limited to it
    EXPECT_NEAR(chamfered.boundingBox().max.z, 0.1f, 1e-6f);
}

TEST(TextGeometry, AlignmentLinesAndEdgeCases) {
    if (!fontAvailable()) {
        GTEST_SKIP() << "no DejaVu font installed";
    }
    SCNText text("WWWW\nI", 0.0f);
    text.setAlignmentMode(SCNTextAlignmentMode::center);
    const SCNBoundingBox box = text.boundingBox();
    EXPECT_LT(box.min.y, -0.9f) << "the second line sits a line lower";
    EXPECT_EQ(box.min.z, 0.0f) << "no depth: flat letters";
    // The "I" of the second line sits around the middle of the first.
    float secondLineMid = 0.0f;
    int count = 0;
    for (const auto& v : text.source().vertices) {
        if (v.y < -0.5f) {
            secondLineMid += v.x;
            ++count;
        }
    }
    ASSERT_GT(count, 0);
    EXPECT_NEAR(secondLineMid / static_cast<float>(count), (box.min.x + box.max.x) / 2.0f, 0.1f);

    EXPECT_EQ(SCNText("", 1.0f).triangleCount(), 0u);
    SCNText broken("\xff\xfe\xc3", 1.0f);  // malformed UTF-8 draws replacement boxes, never crashes
    EXPECT_GT(broken.triangleCount(), 0u);
    SCNText tiny("A", 1.0f);
    tiny.setFont(SCNFont("Futura", 0.0));
    EXPECT_EQ(tiny.triangleCount(), 0u);
}

TEST(TextGeometry, RegisteredFontFilesWinOverTheStandIn) {
    const auto standIn = SCNFont("Futura", 1).resolvedFile();
    if (!standIn) {
        GTEST_SKIP() << "no DejaVu font installed";
    }
    const auto serif = standIn->parent_path() / "DejaVuSerif.ttf";
    if (!std::filesystem::exists(serif)) {
        GTEST_SKIP() << "no DejaVu Serif installed";
    }
    SCNFont::registerFontFile("GraphTestSerif", serif);
    EXPECT_EQ(SCNFont("GraphTestSerif", 1).resolvedFile(), serif);
    SCNText sans("M", 0.1f);
    SCNText withSerif("M", 0.1f);
    withSerif.setFont(SCNFont("GraphTestSerif", 1));
    EXPECT_NE(sans.boundingBox(), withSerif.boundingBox());
    SCNFont::registerFontFile("GraphTestMissing", "/nonexistent/font.ttf");
    EXPECT_EQ(SCNFont("GraphTestMissing", 1).resolvedFile(), standIn) << "a missing file falls back";
}

}  // namespace
}  // namespace vantrel
