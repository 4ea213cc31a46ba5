// Companies, measuring units and the version gate's entries.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"

#include <gtest/gtest.h>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

TEST(CompanyRecord, WatermarkSettingsFallBackToTheirDefaults) {
    const auto company = recordFromServer<CompanyEntity>({{"watermarkPoweredbyPosition", "top"}});
    EXPECT_EQ(company->watermarkPosition(), CompanyEntity::WatermarkPosition::center);
    EXPECT_EQ(company->watermarkPoweredbyPosition(), CompanyEntity::WatermarkPosition::bottomRight);
    EXPECT_FLOAT_EQ(company->watermarkWidthFactor(), 0.2f);
    EXPECT_FLOAT_EQ(company->watermarkPoweredbyWidthFactor(), 0.2f);
    EXPECT_FLOAT_EQ(company->watermarkAlpha(), 1.0f);
    EXPECT_FLOAT_EQ(company->watermarkPoweredbyAlpha(), 1.0f);
    EXPECT_EQ(company->watermarkFilePath(), std::nullopt);
    EXPECT_FALSE(company->orderAbility());
    EXPECT_FALSE(company->liveChatAbility());
}

TEST(CompanyRecord, StoredSettingsAreRead) {
    const auto company = recordFromServer<CompanyEntity>({{"name", " Acme "},
                                                          {"logoFilePath", " logo.png "},
                                                          {"watermarkFilePath", "  "},
                                                          {"watermarkPosition", "none"},
                                                          {"watermarkPoweredbyPosition", " Bottom_Left "},
                                                          {"watermarkWidthFactor", 0.35},
                                                          {"watermarkAlpha", 0},
                                                          {"orderAbility", true},
                                                          {"extraProductUrlParams", " utm=app \n"}});
    EXPECT_EQ(company->name(), "Acme");
    EXPECT_EQ(company->logoFilePath(), "logo.png");
    EXPECT_EQ(company->watermarkFilePath(), std::nullopt);
    EXPECT_EQ(company->watermarkPosition(), CompanyEntity::WatermarkPosition::none);
    EXPECT_EQ(company->watermarkPoweredbyPosition(), CompanyEntity::WatermarkPosition::bottomLeft);
    EXPECT_FLOAT_EQ(company->watermarkWidthFactor(), 0.35f);
    EXPECT_FLOAT_EQ(company->watermarkAlpha(), 0.0f);
    EXPECT_TRUE(company->orderAbility());
    EXPECT_EQ(company->extraProductUrlParams(), "utm=app");
}

TEST(MeasuringUnitRecord, FactorDefaultsToOne) {
    EXPECT_DOUBLE_EQ(recordFromServer<ModelMeasuringUnitEntity>({{"name", " cm "}})->factor(), 1.0);
    const auto unit = recordFromServer<ModelMeasuringUnitEntity>({{"name", " cm "}, {"factor", 0.01}});
    EXPECT_EQ(unit->name(), "cm");
    EXPECT_DOUBLE_EQ(unit->factor(), 0.01);
}

TEST(UnsupportedAppVersionRecord, TextsAreTrimmed) {
    const auto entry = recordFromServer<UnsupportedAppVersionEntity>({{"app", " shop \n"}, {"version", " 1.2.0"}});
    EXPECT_EQ(entry->app(), "shop");
    EXPECT_EQ(entry->version(), "1.2.0");
    EXPECT_EQ(recordFromServer<UnsupportedAppVersionEntity>({})->version(), "");
}
