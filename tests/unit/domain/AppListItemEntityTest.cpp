// List items: main products follow their component; the rest show their own texts.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"

#include <gtest/gtest.h>

using nlohmann::json;
using namespace vantrel;
using test::recordFromServer;

namespace {

json sofa() {
    return {{"__type", "Object"},
            {"className", "Component"},
            {"objectId", "c1"},
            {"appName", "Sofa"},
            {"name", "SF-1"},
            {"description", " Soft "},
            {"thumbnailFilePath", "thumbs/sofa.png"}};
}

}  // namespace

TEST(AppListItemRecord, MainProductsShowTheirComponent) {
    const auto item = recordFromServer<AppListItemEntity>({{"type", "main_product "},
                                                           {"label", "Sale"},
                                                           {"description", "Cheap"},
                                                           {"imagePath", "own.png"},
                                                           {"component", sofa()}});
    EXPECT_TRUE(item->isMainProduct());
    EXPECT_EQ(item->label(), "Sofa");
    EXPECT_EQ(item->desc(), "Soft");
    EXPECT_EQ(item->imagePath(), "thumbs/sofa.png");
    EXPECT_TRUE(item->isImageExist());
    EXPECT_TRUE(item->cachedFileKeys().empty());

    item->set("type", "OVERLAY_IMAGE");
    EXPECT_TRUE(item->isOverlayImage());
    EXPECT_EQ(item->label(), "Sale");
    EXPECT_EQ(item->desc(), "Cheap");
    EXPECT_EQ(item->imagePath(), "own.png");
    EXPECT_EQ(item->cachedFileKeys(), (std::vector<std::string>{"own.png"}));
}

TEST(AppListItemRecord, UnknownTypesAreMainProductsAndWithoutComponentShowNothing) {
    const auto item =
        recordFromServer<AppListItemEntity>({{"type", "BANNER"}, {"label", "Sale"}, {"imagePath", "x.png"}});
    EXPECT_EQ(item->type(), AppListItemType::mainProduct);
    EXPECT_EQ(item->label(), "");
    EXPECT_EQ(item->desc(), "");
    EXPECT_EQ(item->imagePath(), std::nullopt);
    EXPECT_FALSE(item->isImageExist());
    EXPECT_EQ(recordFromServer<AppListItemEntity>({})->type(), AppListItemType::mainProduct);
}

TEST(AppListItemRecord, DefaultsAndOwnImageRules) {
    const auto item =
        recordFromServer<AppListItemEntity>({{"type", "navigation_item"}, {"imagePath", "  "}, {"index", 4}});
    EXPECT_TRUE(item->isNavigationItem());
    EXPECT_TRUE(item->enabled());
    EXPECT_TRUE(item->showPreview());
    EXPECT_FALSE(item->automaticDownloadingVariances());
    EXPECT_EQ(item->textColor(), std::nullopt);
    EXPECT_EQ(item->index(), 4);
    EXPECT_EQ(item->imagePath(), std::nullopt);
    EXPECT_TRUE(item->cachedFileKeys().empty());
}

TEST(AppListItemRecord, SettersStoreTypedValuesThatReadBack) {
    auto item = std::make_shared<AppListItemEntity>();
    item->setType(AppListItemType::navigationItem);
    EXPECT_EQ(item->value("type").asString(), "NAVIGATION_ITEM");
    item->setTextColor(UIColor(1.0, 128.0 / 255.0, 0.0, 0.5));
    EXPECT_EQ(item->value("textColor").asString(), "#FF8000");
    EXPECT_EQ(item->textColor(), UIColor(1.0, 128.0 / 255.0, 0.0, 1.0));
    item->setTextColor(UIColor(-0.5, 2.0, 0.5));
    EXPECT_EQ(item->value("textColor").asString(), "#00FF80");
    item->setTextColor(std::nullopt);
    EXPECT_TRUE(item->value("textColor").isNull());
    EXPECT_EQ(item->textColor(), std::nullopt);

    item->setImagePath(std::nullopt);
    EXPECT_TRUE(item->value("imagePath").isNull());
    item->setComponent(nullptr);
    EXPECT_TRUE(item->value("component").isNull());
    item->setEnabled(false);
    EXPECT_FALSE(item->enabled());
}

TEST(AppListItemRecord, SpawnCopiesTheShownValuesIntoANewItem) {
    const auto source = recordFromServer<AppListItemEntity>({{"type", "main_product"},
                                                             {"label", "Sale"},
                                                             {"showPreview", false},
                                                             {"textColor", "#102030"},
                                                             {"index", 7},
                                                             {"automaticDownloadingVariances", true},
                                                             {"catalog", test::pointerTo("Catalog", "cat1")},
                                                             {"component", sofa()}},
                                                            "i1");
    const auto copy = AppListItemEntity::spawn(*source);
    EXPECT_EQ(copy->id(), std::nullopt);
    EXPECT_FALSE(copy->isEqual(*source));
    EXPECT_EQ(copy->type(), AppListItemType::mainProduct);
    ASSERT_TRUE(copy->component());
    EXPECT_EQ(copy->component()->id(), "c1");
    EXPECT_FALSE(copy->showPreview());
    EXPECT_TRUE(copy->enabled());
    EXPECT_EQ(copy->index(), 7);
    EXPECT_EQ(copy->textColor(), source->textColor());
    // What a main product shows is copied into the new item's own keys.
    EXPECT_EQ(copy->value("label").asString(), "Sofa");
    EXPECT_EQ(copy->value("imagePath").asString(), "thumbs/sofa.png");
    // Catalogue, parent and variant downloading are not part of the copy.
    EXPECT_EQ(copy->catalog(), nullptr);
    EXPECT_FALSE(copy->automaticDownloadingVariances());
}
