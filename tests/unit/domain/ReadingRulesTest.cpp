// How stored values become typed values: every accessor follows these rules, so they are tested
// here once over representative accessors of each type.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/ScnMaterialEnumerations.hpp"

#include <gtest/gtest.h>

#include <limits>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

namespace {

std::shared_ptr<ScnMaterialPropertyEntity> property(json fields) {
    return ScnMaterialPropertyEntity::fromDictionary(test::dictionaryFrom(fields));
}

std::shared_ptr<ScnMaterialPropertiesEntity> properties(json fields) {
    return ScnMaterialPropertiesEntity::fromDictionary(test::dictionaryFrom(fields));
}

}  // namespace

TEST(ReadingRules, AbsentNullAndMistypedValuesGiveTheDefault) {
    const json notNumbers[] = {nullptr, "1.5", true, json::array({1}), json::object()};
    for (const auto& stored : notNumbers) {
        SCOPED_TRACE(stored.dump());
        EXPECT_DOUBLE_EQ(recordFromServer<ModelMeasuringUnitEntity>({{"factor", stored}})->factor(), 1.0);
        EXPECT_FLOAT_EQ(recordFromServer<CompanyEntity>({{"watermarkAlpha", stored}})->watermarkAlpha(), 1.0f);
    }
    const json notTexts[] = {nullptr, 1.5, 7, true, json::array({"a"}), json::object()};
    for (const auto& stored : notTexts) {
        SCOPED_TRACE(stored.dump());
        EXPECT_EQ(recordFromServer<ModelMeasuringUnitEntity>({{"name", stored}})->name(), "");
        EXPECT_EQ(recordFromServer<CompanyEntity>({{"logoFilePath", stored}})->logoFilePath(), std::nullopt);
    }
    const json notBooleans[] = {nullptr, 1, "true", json::array({true})};
    for (const auto& stored : notBooleans) {
        SCOPED_TRACE(stored.dump());
        EXPECT_FALSE(recordFromServer<CompanyEntity>({{"conceptAbility", stored}})->conceptAbility());
        // A default of true survives a mistyped value too.
        EXPECT_TRUE(properties({{"locksAmbientWithDiffuse", stored}})->locksAmbientWithDiffuse());
    }
    EXPECT_DOUBLE_EQ(recordFromServer<ModelMeasuringUnitEntity>({})->factor(), 1.0);
}

TEST(ReadingRules, FloatingAccessorsTakeIntegersBecauseTheServerSendsIntegralDoublesAsIntegers) {
    const auto unit = recordFromServer<ModelMeasuringUnitEntity>({{"factor", 2}});
    EXPECT_EQ(unit->value("factor").kind(), ParseValue::Kind::integer);
    EXPECT_DOUBLE_EQ(unit->factor(), 2.0);
    EXPECT_FLOAT_EQ(property({{"scaleX", 2}})->scaleX(), 2.0f);
    EXPECT_FLOAT_EQ(property({{"scaleX", 2.5}})->scaleX(), 2.5f);
}

TEST(ReadingRules, IntegerAccessorsTakeIntegralDoublesOnlyWhenExact) {
    EXPECT_EQ(property({{"mappingChannel", 3}})->mappingChannel(), 3);
    EXPECT_EQ(property({{"mappingChannel", 3.0}})->mappingChannel(), 3);
    EXPECT_EQ(property({{"mappingChannel", 2.5}})->mappingChannel(), 0);
    EXPECT_EQ(property({{"mappingChannel", 1e300}})->mappingChannel(), 0);
    EXPECT_EQ(property({{"mappingChannel", -9.3e18}})->mappingChannel(), 0);
    EXPECT_EQ(property({{"mappingChannel", "3"}})->mappingChannel(), 0);
}

TEST(ReadingRules, TrimmedTextsLoseBlanksAndLineBreaksAndOptionalOnesVanishWhenBlank) {
    const auto component = recordFromServer<ComponentEntity>({{"name", " \t Chair\n"},
                                                              {"productNumber", "\u00A0P-1\u3000"},
                                                              {"thumbnailFilePath", " \n "},
                                                              {"scnModelFilePath", " m/1.zip "}});
    EXPECT_EQ(component->name(), "Chair");
    EXPECT_EQ(component->productNumber(), "P-1");
    EXPECT_EQ(component->thumbnailFilePath(), std::nullopt);
    EXPECT_FALSE(component->isThumbnailFileExist());
    EXPECT_EQ(component->scnModelFilePath(), "m/1.zip");
}

TEST(ReadingRules, UntrimmedTextsOfEmbeddedRecordsStayAsStored) {
    const auto component =
        recordFromServer<ComponentEntity>({{"nodesToTags", json::array({{{"tag", " seat "}, {"nodeName", " n "}}})}});
    const auto entries = component->nodesToTags();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->tag(), " seat ");
    EXPECT_EQ(entries[0]->nodeName(), " n ");
    EXPECT_EQ(entries[0]->nodeId(), std::nullopt);
}

TEST(ReadingRules, ListsAreTakenWhole) {
    auto mixed = recordFromServer<ComponentEntity>({{"scnModelAssetFilePaths", json::array({"a", 1, "b"})},
                                                    {"snappingAreas", json::array({json::object(), "x"})}});
    EXPECT_TRUE(mixed->scnModelAssetFilePaths().empty());
    EXPECT_TRUE(mixed->snappingAreas().empty());

    // A single dictionary where a list belongs is no list at all.
    auto single = recordFromServer<ComponentEntity>({{"snappingAreas", {{"connectToComponentId", "c1"}}}});
    EXPECT_TRUE(single->snappingAreas().empty());
    EXPECT_FALSE(single->isSnappingAreasExist());

    auto ordered = recordFromServer<ComponentEntity>(
        {{"snappingAreas", json::array({{{"connectToComponentId", "c1"}}, {{"connectToComponentId", "c2"}}})}});
    const auto areas = ordered->snappingAreas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0]->connectToComponentId(), "c1");
    EXPECT_EQ(areas[1]->connectToComponentId(), "c2");
    EXPECT_TRUE(ordered->isSnappingAreasExist());
}

TEST(ReadingRules, TextEnumerationsAreTrimmedUpperCasedAndFallBack) {
    EXPECT_EQ(recordFromServer<CompanyEntity>({{"watermarkPosition", " bottom_left\n"}})->watermarkPosition(),
              CompanyEntity::WatermarkPosition::bottomLeft);
    EXPECT_EQ(recordFromServer<CompanyEntity>({{"watermarkPosition", "Bottom-Left"}})->watermarkPosition(),
              CompanyEntity::WatermarkPosition::center);
    EXPECT_EQ(recordFromServer<CompanyEntity>({{"watermarkPosition", 2}})->watermarkPosition(),
              CompanyEntity::WatermarkPosition::center);
    // Exact matching is what the raw-value reader does.
    EXPECT_EQ(fromRawValue<CompanyEntity::WatermarkPosition>("bottom_left"), std::nullopt);
    EXPECT_EQ(fromRawValue<CompanyEntity::WatermarkPosition>("NONE"), CompanyEntity::WatermarkPosition::none);
}

TEST(ReadingRules, MaterialSettingsCompareNamesExactly) {
    EXPECT_EQ(property({{"wrapS", "repeat"}})->wrapS(), SCNWrapMode::repeat);
    EXPECT_EQ(property({{"wrapS", "Repeat"}})->wrapS(), SCNWrapMode::clamp);
    EXPECT_EQ(property({{"wrapT", " mirror"}})->wrapT(), SCNWrapMode::clamp);
    EXPECT_EQ(property({{"mipFilter", "none"}})->mipFilter(), SCNFilterMode::none);
    EXPECT_EQ(property({{"mipFilter", 0}})->mipFilter(), SCNFilterMode::nearest);

    EXPECT_EQ(fromString<SCNBlendMode>("max"), SCNBlendMode::max);
    EXPECT_EQ(fromString<SCNLightingModel>("physicallyBased"), SCNLightingModel::physicallyBased);
    EXPECT_EQ(fromString<SCNLightingModel>("shadowOnly"), std::nullopt);
    EXPECT_EQ(fromString<SCNTransparencyMode>("AOne"), std::nullopt);
    EXPECT_EQ(toString(SCNTransparencyMode::dualLayer), "dualLayer");
    EXPECT_EQ(toString(SCNFilterMode::linear), "linear");
    EXPECT_EQ(toString(SCNLightingModel::shadowOnly), "unknown");
    EXPECT_EQ(toString(static_cast<SCNWrapMode>(42)), "unknown");
}
