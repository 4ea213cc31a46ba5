// The component record: derived names, model files, sizes, tags, links and pictures.

#include "RecordTestSupport.hpp"

#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"

#include <gtest/gtest.h>

#include <limits>

using nlohmann::json;
using namespace vantrel;
using test::pointerTo;
using test::recordFromServer;

namespace {

json fileSize(const std::string& path, json size) { return {{"filePath", path}, {"size", std::move(size)}}; }

}  // namespace

TEST(ComponentRecord, GenericNamePrefersANonBlankAppName) {
    EXPECT_EQ(recordFromServer<ComponentEntity>({{"appName", "   "}, {"name", "Chair"}})->genericName(), "Chair");
    EXPECT_EQ(recordFromServer<ComponentEntity>({{"appName", " Sofa "}, {"name", "Chair"}})->genericName(), "Sofa");
    EXPECT_EQ(recordFromServer<ComponentEntity>({{"name", "Chair"}})->genericName(), "Chair");
    EXPECT_EQ(recordFromServer<ComponentEntity>({})->genericName(), "");
}

TEST(ComponentRecord, OnlyAnExactZipSuffixMakesAnArchive) {
    const auto upper = recordFromServer<ComponentEntity>({{"scnModelFilePath", "m/123.ZIP"}});
    EXPECT_FALSE(upper->isModelFileZip());
    EXPECT_EQ(upper->unzipDirectoryFileKey(), std::nullopt);

    const auto zip = recordFromServer<ComponentEntity>({{"scnModelFilePath", " m/123.zip\n"}});
    EXPECT_TRUE(zip->isModelFileZip());
    EXPECT_EQ(zip->unzipDirectoryFileKey(), "m/123.zip.extracted");

    const auto none = recordFromServer<ComponentEntity>({});
    EXPECT_FALSE(none->isModelFileZip());
    EXPECT_FALSE(none->isScnModelFileExist());
    EXPECT_EQ(none->unzipDirectoryFileKey(), std::nullopt);
}

TEST(ComponentRecord, CachedFileKeysListThumbnailModelDirectoryAndAssetsInOrder) {
    const auto component = recordFromServer<ComponentEntity>({{"thumbnailFilePath", "t"},
                                                              {"scnModelFilePath", "m.zip"},
                                                              {"scnModelAssetFilePaths", json::array({"a1", "a2"})}});
    EXPECT_EQ(component->cachedFileKeys(), (std::vector<std::string>{"t", "m.zip", "m.zip.extracted", "a1", "a2"}));

    const auto plain = recordFromServer<ComponentEntity>({{"thumbnailFilePath", " "}, {"scnModelFilePath", "m.glb"}});
    EXPECT_EQ(plain->cachedFileKeys(), (std::vector<std::string>{"m.glb"}));
}

TEST(ComponentRecord, TotalSizeCountsTheModelAndItsListedAssets) {
    auto component = recordFromServer<ComponentEntity>(
        {{"scnModelFilePath", "m.zip"},
         {"thumbnailFilePath", "t.png"},
         {"scnModelAssetFilePaths", json::array({"a1", "a2"})},
         {"fileSizes", json::array({fileSize("m.zip", 100), fileSize("a1", 20), fileSize("t.png", 5)})}});
    EXPECT_EQ(component->totalSize(), 120);

    component->set("scnModelFilePath", "  ");
    EXPECT_EQ(component->totalSize(), 0);

    const auto noSizes = recordFromServer<ComponentEntity>({{"scnModelFilePath", "m.zip"}});
    EXPECT_EQ(noSizes->totalSize(), 0);
}

TEST(ComponentRecord, TotalSizeIgnoresUnusableSizesAndKeepsTheFirstOfARepeatedPath) {
    const auto component = recordFromServer<ComponentEntity>(
        {{"scnModelFilePath", "m"},
         {"scnModelAssetFilePaths", json::array({"a", "b"})},
         {"fileSizes", json::array({fileSize("m", 10), fileSize("a", "7"), fileSize("b", 2.5), fileSize("m", 1000)})}});
    EXPECT_EQ(component->totalSize(), 10);
}

TEST(ComponentRecord, TotalSizeStopsAtTheLargestSizeInsteadOfOverflowing) {
    const auto big = std::numeric_limits<std::int64_t>::max();
    const auto component =
        recordFromServer<ComponentEntity>({{"scnModelFilePath", "m"},
                                           {"scnModelAssetFilePaths", json::array({"a"})},
                                           {"fileSizes", json::array({fileSize("m", big), fileSize("a", big)})}});
    EXPECT_EQ(component->totalSize(), big);
}

TEST(ComponentRecord, NodesByTagMatchExactlyAndKeepStoredOrder) {
    const auto component = recordFromServer<ComponentEntity>(
        {{"nodesToTags", json::array({{{"tag", "seat"}, {"nodeName", "cushion"}, {"nodeId", "n1"}},
                                      {{"tag", "legs"}, {"nodeName", "leg"}},
                                      {{"tag", "seat"}, {"nodeId", "n3"}},
                                      {{"tag", "Seat"}, {"nodeName", "other"}}})}});
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(component->getNodeNamesOrNodeIdsByTag("seat"), (Pairs{{"cushion", "n1"}, {"", "n3"}}));
    EXPECT_EQ(component->getNodeNamesOrNodeIdsByTag("legs"), (Pairs{{"leg", ""}}));
    EXPECT_TRUE(component->getNodeNamesOrNodeIdsByTag("back").empty());
    EXPECT_TRUE(recordFromServer<ComponentEntity>({})->getNodeNamesOrNodeIdsByTag("").empty());
}

TEST(ComponentRecord, MaterialLookUpsByTagAndById) {
    const auto component = recordFromServer<ComponentEntity>(
        {{"tagsToMaterials", json::array({{{"tag", "seat"}, {"materialIds", json::array({"m1", "m2"})}},
                                          {{"tag", "seat"}, {"materialIds", json::array({"m3"})}},
                                          {{"tag", "legs"}, {"materialIds", json::array({"m2", " "})}},
                                          {{"tag", "frame"}}})}});
    // The first entry of a tag wins.
    EXPECT_EQ(component->getMaterialIdsByTag("seat"), (std::vector<std::string>{"m1", "m2"}));
    EXPECT_TRUE(component->getMaterialIdsByTag("frame").empty());
    EXPECT_TRUE(component->getMaterialIdsByTag("back").empty());

    const auto withM2 = component->getTagsToMaterialsByMaterialId("m2");
    ASSERT_EQ(withM2.size(), 2u);
    EXPECT_EQ(withM2[0]->tag(), "seat");
    EXPECT_EQ(withM2[1]->tag(), "legs");
    EXPECT_TRUE(component->isMaterialAssigned("m3"));
    // Ids compare untrimmed, and a blank id matches nothing even where one is stored.
    EXPECT_FALSE(component->isMaterialAssigned(" m3"));
    EXPECT_TRUE(component->getTagsToMaterialsByMaterialId(" ").empty());
    EXPECT_FALSE(component->isMaterialAssigned(""));
}

TEST(ComponentRecord, ParentLinkIsWrittenBackAndClearedAsNull) {
    auto component = std::make_shared<ComponentEntity>();
    const auto parent = recordFromServer<ComponentEntity>({}, "p1");
    component->setParent(parent);
    EXPECT_EQ(component->parent(), parent);
    EXPECT_EQ(component->toJSON()["parent"], test::pointerTo("Component", "p1"));
    component->setParent(nullptr);
    EXPECT_TRUE(component->value("parent").isNull());
    EXPECT_EQ(component->parent(), nullptr);
}

TEST(ComponentRecord, ProductLinkUrlNeedsAValidUrl) {
    const auto link = [](json stored) {
        return recordFromServer<ComponentEntity>({{"productLink", stored}})->productLinkUrl();
    };
    EXPECT_EQ(link(" https://shop.example/p?id=1&x=%20#top \n"), "https://shop.example/p?id=1&x=%20#top");
    EXPECT_EQ(link("shop/item-1"), "shop/item-1");
    EXPECT_EQ(link("https://shop.example:8080/a"), "https://shop.example:8080/a");
    EXPECT_EQ(link("   "), std::nullopt);
    EXPECT_EQ(link("https://shop.example/a b"), std::nullopt);
    EXPECT_EQ(link("https://shop.example/%zz"), std::nullopt);
    EXPECT_EQ(link("https://shop.example:80a/"), std::nullopt);
    EXPECT_EQ(link("https://shop.example/\"quoted\""), std::nullopt);
    EXPECT_EQ(link("1http://x"), std::nullopt);
    EXPECT_EQ(link(17), std::nullopt);
}

TEST(ComponentRecord, PicturesAreEditedThroughTheirRecordsAndStoredBack) {
    auto component = recordFromServer<ComponentEntity>({{"images",
                                                         {{"frame", {{"original", " o.png "}, {"small", "  "}}},
                                                          {"frame360", {{"large", json::array({"l1", "l2"})}}}}}});
    auto images = component->images();
    auto frame = images->frame();
    EXPECT_EQ(frame->original(), "o.png");
    EXPECT_EQ(frame->small(), std::nullopt);
    EXPECT_EQ(images->frame360()->large(), (std::vector<std::string>{"l1", "l2"}));
    EXPECT_TRUE(images->frame360()->small().empty());

    frame->setOriginal(std::nullopt);
    frame->setMedium("m.png");
    EXPECT_EQ(frame->dictionary.count("original"), 0u);
    auto sequence = images->frame360();
    sequence->setSmall({"s1"});
    images->setFrame(frame);
    images->setFrame360(sequence);
    // Nothing reaches the record until the pictures are stored back.
    EXPECT_EQ(component->images()->frame()->original(), "o.png");
    component->setImages(images);

    const auto stored = component->images();
    EXPECT_EQ(stored->frame()->original(), std::nullopt);
    EXPECT_EQ(stored->frame()->medium(), "m.png");
    EXPECT_EQ(stored->frame360()->small(), (std::vector<std::string>{"s1"}));
    EXPECT_EQ(stored->frame360()->large(), (std::vector<std::string>{"l1", "l2"}));
    EXPECT_EQ(component->toJSON()["images"]["frame"], (json{{"medium", "m.png"}, {"small", "  "}}));

    EXPECT_TRUE(recordFromServer<ComponentEntity>({{"images", "x"}})->images()->dictionary.empty());
}

TEST(ComponentRecord, PricePrefixStaysOnTheInstance) {
    auto component = recordFromServer<ComponentEntity>({{"price", 12}});
    EXPECT_DOUBLE_EQ(component->price(), 12.0);
    component->setPricePrefix("from");
    EXPECT_EQ(component->pricePrefix(), "from");
    EXPECT_FALSE(component->isDirty());
    EXPECT_FALSE(component->toJSON().contains("pricePrefix"));
}

TEST(ComponentRecord, FloatingAndEmbeddedCompanions) {
    const auto component = recordFromServer<ComponentEntity>(
        {{"isFloating", true},
         {"combinations",
          json::array(
              {{{"name", "Dark"}, {"combinationItems", json::array({{{"tag", "seat"}, {"materialId", "m1"}}})}}})},
         {"scnModelMeasuringUnit", pointerTo("ModelMeasuringUnit", "u1")}});
    EXPECT_TRUE(component->isFloating());
    EXPECT_FALSE(component->isNonFloating());
    ASSERT_TRUE(component->isCombinationsExist());
    const auto combination = component->combinations().front();
    EXPECT_EQ(combination->name(), "Dark");
    ASSERT_TRUE(combination->isCombinationItemsExist());
    EXPECT_EQ(combination->combinationItems().front()->materialId(), "m1");
    EXPECT_FALSE(component->isAnchorObjectConnectionsExist());
    EXPECT_FALSE(component->isTagsToMaterialsExist());
    ASSERT_TRUE(component->scnModelMeasuringUnit());
    EXPECT_EQ(component->scnModelMeasuringUnit()->id(), "u1");
    EXPECT_EQ(component->variancesRelation().key(), "variances");
}
