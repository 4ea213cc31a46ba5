// The manifest of a model archive comes from outside: what it names must stay in the archive.

#include "services/ModelManifest.hpp"

#include <gtest/gtest.h>

namespace vantrel::detail {
namespace {

TEST(ModelManifestTest, NamesTheSceneAndItsAssetsInsideTheArchive) {
    const auto manifest = parseModelManifest(R"({"model": "sofa.gltf", "assets": ["sofa.bin", "tex/wood.png"]})",
                                             "models/1/metadata.json");
    ASSERT_TRUE(manifest) << manifest.error().message;
    EXPECT_EQ(manifest->model, "sofa.gltf");
    EXPECT_EQ(manifest->assets, (std::vector<std::string>{"sofa.bin", "tex/wood.png"}));

    // An asset list with anything but plain relative names counts as no list.
    for (const char* assets : {R"(["a.bin", 3])", R"(["a.bin", "../../secret"])", R"(["/etc/passwd"])"}) {
        const auto partial = parseModelManifest(std::string(R"({"model": "m.obj", "assets": )") + assets + "}", "k");
        ASSERT_TRUE(partial) << assets;
        EXPECT_TRUE(partial->assets.empty()) << assets;
    }
}

TEST(ModelManifestTest, TextThatIsNoJsonNoModelOrAModelOutsideTheArchiveIsRefused) {
    const auto notJson = parseModelManifest("{model: ", "models/1/metadata.json");
    ASSERT_FALSE(notJson);
    EXPECT_EQ(notJson.error().code, 3840);
    EXPECT_NE(notJson.error().message.find("models/1/metadata.json"), std::string::npos);

    for (const char* text : {R"({"assets": []})", R"({"model": 7})", "[1, 2]"}) {
        const auto refused = parseModelManifest(text, "k");
        ASSERT_FALSE(refused) << text;
        EXPECT_EQ(refused.error().domain, TextError::kDomain) << text;
    }
    for (const char* model : {"../other/scene.gltf", "/etc/passwd", "a/../../b.obj"}) {
        const auto outside = parseModelManifest(std::string(R"({"model": ")") + model + "\"}", "k");
        ASSERT_FALSE(outside) << model;
        EXPECT_NE(outside.error().message.find("outside the archive"), std::string::npos) << outside.error().message;
    }
}

}  // namespace
}  // namespace vantrel::detail
