// Vectors stored as text in snapping areas and anchor-object connections.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using nlohmann::json;
using namespace vantrel;

namespace {

SnappingAreaEntity area(const json& fields) {
    return *SnappingAreaEntity::fromDictionary(test::dictionaryFrom(fields));
}

AnchorObjectConnectionEntity connection(const json& fields) {
    return *AnchorObjectConnectionEntity::fromDictionary(test::dictionaryFrom(fields));
}

}  // namespace

TEST(SnappingAreaRecord, PositionPiecesAreTrimmedAndUnreadablePiecesCountZero) {
    EXPECT_EQ(area({{"offsetPosition", "0.5, 0 ,1"}}).offsetPosition(), SCNVector3(0.5f, 0.0f, 1.0f));
    EXPECT_EQ(area({{"offsetPosition", "abc,2"}}).offsetPosition(), SCNVector3(0.0f, 2.0f, 0.0f));
    EXPECT_EQ(area({{"offsetPosition", "1,2,3,4"}}).offsetPosition(), SCNVector3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(area({{"offsetPosition", "\t-1.5e1,+2,.5"}}).offsetPosition(), SCNVector3(-15.0f, 2.0f, 0.5f));
    EXPECT_EQ(area({{"offsetPosition", "1,,3"}}).offsetPosition(), SCNVector3(1.0f, 0.0f, 3.0f));
    EXPECT_EQ(area({{"offsetPosition", ""}}).offsetPosition(), SCNVector3());
    EXPECT_EQ(area({}).offsetPosition(), SCNVector3());
    EXPECT_EQ(area({{"offsetPosition", json::array({1, 2, 3})}}).offsetPosition(), SCNVector3());
}

TEST(SnappingAreaRecord, OnlyWholeFiniteNumbersCount) {
    // Line breaks are not trimmed from pieces, trailing text spoils a piece, and infinities or
    // NaN would poison the scene's geometry.
    EXPECT_EQ(area({{"offsetPosition", "1\n,2x,3"}}).offsetPosition(), SCNVector3(0.0f, 0.0f, 3.0f));
    EXPECT_EQ(area({{"offsetPosition", "inf,nan,1e39"}}).offsetPosition(), SCNVector3());
    EXPECT_EQ(area({{"offsetPosition", "1e-50,0x10,--1"}}).offsetPosition(), SCNVector3(0.0f, 16.0f, 0.0f));
}

TEST(SnappingAreaRecord, OrientationIsReadFromOffsetRotation) {
    EXPECT_EQ(area({{"offsetRotation", "0,1,0"}}).offsetOrientation(), SCNVector4(0.0f, 1.0f, 0.0f, 0.0f));
    EXPECT_EQ(area({{"offsetOrientation", "0,1,0,1"}}).offsetOrientation(), SCNVector4());
    EXPECT_EQ(area({{"connectToComponentId", 5}}).connectToComponentId(), "");
    EXPECT_EQ(area({{"connectToComponentId", "c7"}}).connectToComponentId(), "c7");
}

TEST(AnchorObjectConnectionRecord, MissingPiecesKeepTheirDefaults) {
    EXPECT_EQ(connection({{"scale", "2"}}).scale(), SCNVector3(2.0f, 1.0f, 1.0f));
    EXPECT_EQ(connection({{"scale", "x, 3"}}).scale(), SCNVector3(1.0f, 3.0f, 1.0f));
    EXPECT_EQ(connection({}).scale(), SCNVector3One);
    EXPECT_EQ(connection({{"scale", 2}}).scale(), SCNVector3One);
    EXPECT_EQ(connection({}).offsetOrientation(), SCNVector4());
    EXPECT_EQ(connection({{"offsetRotation", "0,0,0,1"}}).offsetOrientation(), SCNVector4(0.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_EQ(connection({{"offsetPosition", "1,2"}}).offsetPosition(), SCNVector3(1.0f, 2.0f, 0.0f));
    EXPECT_EQ(connection({{"anchorObjectId", "a1"}}).anchorObjectId(), "a1");
}
