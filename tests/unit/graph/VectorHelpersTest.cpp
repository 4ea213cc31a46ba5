// Value helpers on vectors, points, sizes and rectangles.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "vantrel/graph/CGPoint.hpp"
#include "vantrel/graph/CGRect.hpp"
#include "vantrel/graph/CGSize.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel {
namespace {

TEST(SCNVector3Normalization, ZeroVectorStaysZeroWithoutDividingByZero) {
    SCNVector3 zero;
    zero.normalize();
    EXPECT_EQ(zero, SCNVector3(0, 0, 0));
    EXPECT_EQ(SCNVector3Normalize(SCNVector3Zero), SCNVector3Zero);
    EXPECT_EQ(SCNVector3Zero.normalized(), SCNVector3Zero);

    SCNVector3 lengthened;
    lengthened.setLength(5.0f);
    EXPECT_EQ(lengthened, SCNVector3Zero);
}

TEST(SCNVector3Normalization, TinyVectorIsStillDividedByItsLength) {
    SCNVector3 tiny(3e-15f, 0.0f, 4e-15f);
    tiny.normalize();
    EXPECT_NEAR(tiny.x, 0.6f, 1e-6f);
    EXPECT_NEAR(tiny.z, 0.8f, 1e-6f);

    SCNVector3 v(3.0f, 0.0f, 4.0f);
    v.setLength(10.0f);
    EXPECT_EQ(v, SCNVector3(6.0f, 0.0f, 8.0f));
    EXPECT_FLOAT_EQ(SCNVector3(3.0f, 4.0f, 12.0f).normalized().length(), 1.0f);
}

TEST(SCNVector3Arithmetic, ComponentWiseOperatorsAndCompoundForms) {
    const SCNVector3 a(1.0f, 2.0f, 3.0f);
    const SCNVector3 b(4.0f, -2.0f, 0.5f);
    EXPECT_EQ(a + b, SCNVector3(5.0f, 0.0f, 3.5f));
    EXPECT_EQ(a - b, SCNVector3(-3.0f, 4.0f, 2.5f));
    EXPECT_EQ(a * b, SCNVector3(4.0f, -4.0f, 1.5f));
    EXPECT_EQ(a / b, SCNVector3(0.25f, -1.0f, 6.0f));
    EXPECT_EQ(a * 2.0f, SCNVector3(2.0f, 4.0f, 6.0f));
    EXPECT_EQ(a / 2.0f, SCNVector3(0.5f, 1.0f, 1.5f));

    SCNVector3 c = a;
    c += b;
    c -= a;
    EXPECT_EQ(c, b);
    c *= SCNVector3(2.0f, 2.0f, 2.0f);
    c /= 2.0f;
    EXPECT_EQ(c, b);
    EXPECT_EQ(a.negate(), SCNVector3(-1.0f, -2.0f, -3.0f));
    EXPECT_EQ(a, SCNVector3(1.0f, 2.0f, 3.0f)) << "negate() returns a new vector";
}

TEST(SCNVector3Arithmetic, CrossDotDistanceFollowTheRightHandedFormulas) {
    EXPECT_EQ(SCNVector3Cross({1, 0, 0}, {0, 1, 0}), SCNVector3(0, 0, 1));
    EXPECT_EQ(SCNVector3Cross({0, 1, 0}, {1, 0, 0}), SCNVector3(0, 0, -1));
    EXPECT_EQ(SCNVector3(2, 3, 4).cross({5, 6, 7}), SCNVector3(-3, 6, -3));
    EXPECT_FLOAT_EQ(SCNVector3Dot({1, 2, 3}, {4, 5, 6}), 32.0f);
    EXPECT_FLOAT_EQ(SCNVector3Distance({1, 1, 1}, {4, 5, 1}), 5.0f);
    EXPECT_FLOAT_EQ(SCNVector3Length({2, 3, 6}), 7.0f);
}

TEST(SCNVector3Arithmetic, LerpHitsBothEndsAndExtrapolates) {
    const SCNVector3 start(1.0f, 2.0f, 3.0f);
    const SCNVector3 end(3.0f, 6.0f, -1.0f);
    EXPECT_EQ(SCNVector3Lerp(start, end, 0.0f), start);
    EXPECT_EQ(SCNVector3Lerp(start, end, 1.0f), end);
    EXPECT_EQ(SCNVector3Lerp(start, end, 0.5f), SCNVector3(2.0f, 4.0f, 1.0f));
    EXPECT_EQ(SCNVector3Lerp(start, end, 2.0f), SCNVector3(5.0f, 10.0f, -5.0f));
    EXPECT_EQ(start.lerp(end, -1.0f), SCNVector3(-1.0f, -2.0f, 7.0f));
}

TEST(SCNVector3Arithmetic, ProjectionOntoZeroVectorGivesNotANumber) {
    const SCNVector3 projected = SCNVector3Project({1, 2, 3}, SCNVector3Zero);
    EXPECT_TRUE(std::isnan(projected.x));
    EXPECT_TRUE(std::isnan(projected.y));
    EXPECT_TRUE(std::isnan(projected.z));
    EXPECT_EQ(SCNVector3Project({2, 3, 4}, {0, 2, 0}), SCNVector3(0, 3, 0));
}

TEST(SCNVector3Arithmetic, RoundingRemainderUniformAndText) {
    EXPECT_EQ(round(SCNVector3(0.5f, -0.5f, 1.49f)), SCNVector3(1.0f, -1.0f, 1.0f));
    EXPECT_EQ(SCNVector3(5.5f, -5.5f, 2.0f).truncatingRemainder(2.0f), SCNVector3(1.5f, -1.5f, 0.0f));
    EXPECT_EQ(SCNVector3Uniform(2.5f), SCNVector3(2.5f, 2.5f, 2.5f));
    // The 64-bit form narrows to 32-bit first.
    const double wide = 0.1;
    EXPECT_EQ(SCNVector3Uniform(wide).x, static_cast<float>(wide));
    EXPECT_EQ(SCNVector3(1.0f, 2.5f, -1.0f / 3.0f).friendlyString(), "(1.00, 2.50, -0.33)");
    EXPECT_EQ(SCNVector3One, SCNVector3(1, 1, 1));
}

TEST(SCNVector4Arithmetic, FourComponentFormsIncludingW) {
    const SCNVector4 a(1, 2, 3, 4);
    const SCNVector4 b(2, 2, 2, 2);
    EXPECT_EQ(a + b, SCNVector4(3, 4, 5, 6));
    EXPECT_EQ(a - b, SCNVector4(-1, 0, 1, 2));
    EXPECT_EQ(a * b, SCNVector4(2, 4, 6, 8));
    EXPECT_EQ(a / b, SCNVector4(0.5f, 1, 1.5f, 2));
    EXPECT_EQ(a * 3.0f, SCNVector4(3, 6, 9, 12));
    EXPECT_EQ(SCNVector4Negate(a), SCNVector4(-1, -2, -3, -4));
    EXPECT_FLOAT_EQ(SCNVector4Dot(a, b), 20.0f);
    EXPECT_EQ(SCNVector4Lerp(a, b, 1.0f), b);
    EXPECT_EQ(round(SCNVector4(0.5f, -0.5f, 1.49f, -2.5f)), SCNVector4(1, -1, 1, -3));
    EXPECT_EQ(SCNVector4(5, -5, 7, 9).truncatingRemainder(4.0f), SCNVector4(1, -1, 3, 1));
    const SCNVector4 projected = SCNVector4Project(a, SCNVector4());
    EXPECT_TRUE(std::isnan(projected.w));
    EXPECT_EQ(SCNVector4Project({1, 2, 3, 4}, {0, 0, 0, 2}), SCNVector4(0, 0, 0, 4));
}

TEST(CGPointAndSize, SixtyFourBitArithmeticMidpointAndText) {
    const CGPoint p(1.0, 2.0);
    const CGPoint q(4.0, 6.0);
    EXPECT_EQ(p + q, CGPoint(5.0, 8.0));
    EXPECT_EQ(q - p, CGPoint(3.0, 4.0));
    EXPECT_DOUBLE_EQ((q - p).length(), 5.0);
    EXPECT_EQ(p.midpoint(q), CGPoint(2.5, 4.0));
    EXPECT_EQ(p * 0.1, CGPoint(0.1, 0.2)) << "no narrowing to 32 bits";
    EXPECT_EQ(q / 2.0, CGPoint(2.0, 3.0));
    EXPECT_EQ(CGPoint(-0.004, 1.005).friendlyString(), "(-0.00, 1.00)");

    CGSize size(2.0, 3.0);
    size += CGSize(1.0, 1.0);
    size *= 2.0;
    EXPECT_EQ(size, CGSize(6.0, 8.0));
    EXPECT_EQ(size - CGSize(6.0, 8.0), CGSize());
}

TEST(CGRectMid, IsTheCentreAlsoForOffsetAndNegativeRectangles) {
    EXPECT_EQ(CGRect(0, 0, 390, 844).mid(), CGPoint(195, 422));
    EXPECT_EQ(CGRect(10, 20, 100, 50).mid(), CGPoint(60, 45));
    EXPECT_EQ(CGRect(10, 20, -100, -50).mid(), CGPoint(-40, -5));
}

}  // namespace
}  // namespace vantrel
