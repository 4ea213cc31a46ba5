// The first material of each tagged part of a component, with a stand-in for the rendering
// materials that material records build.

#include "services/RenderingMaterials.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;
using Parts = std::vector<std::pair<std::string, std::string>>;

TEST(FirstMaterialsTest, TagsKeepTheirOrderRepeatsAndSkipWhatCannotBeRead) {
    registerRecordClasses();
    test::ScopedSdkSettings settings;
    test::ServicesFakeBackend backend;
    backend.setRoute([](const test::FakeParseRequest& request) -> std::optional<std::string> {
        const std::string id = request.body["where"].value("objectId", "");
        if (id == "gone") return test::ServicesFakeBackend::error(404, 101);
        if (id == "broken") return test::ServicesFakeBackend::error(500, 1);
        return test::ServicesFakeBackend::results(json::array({{{"objectId", id}}}));
    });
    services_detail::setRenderingMaterialBuilder([](const std::shared_ptr<MaterialEntity>& material, auto block) {
        auto rendering = std::make_shared<SCNMaterial>();
        rendering->setName(material->objectId().value_or(""));
        block(rendering);
    });
    auto component = std::make_shared<ComponentEntity>();
    component->set("nodesToTags", ParseValue::fromJSON(json::array({{{"nodeName", "seat"}, {"tag", "fabric"}},
                                                                    {{"nodeName", "legs"}, {"nodeId", "n2"}, {"tag", "wood"}},
                                                                    {{"nodeName", "untagged"}},
                                                                    {{"nodeName", "top"}, {"tag", "glass"}},
                                                                    {{"nodeName", "frame"}, {"tag", "steel"}},
                                                                    {{"nodeName", "cushion"}, {"tag", "leather"}},
                                                                    {{"nodeName", "arm"}, {"tag", "fabric"}}})));
    component->set("tagsToMaterials", ParseValue::fromJSON(json::array({{{"tag", "fabric"}, {"materialIds", {"m1", "m9"}}},
                                                                        {{"tag", "wood"}, {"materialIds", {"m2"}}},
                                                                        {{"tag", "glass"}, {"materialIds", {"gone"}}},
                                                                        {{"tag", "steel"}, {"materialIds", {"broken"}}}})));
    test::Await<std::vector<FirstMaterialOfTag>> done;
    MaterialService::sharedInstance().obtainFirstMaterialsOfComponent(component, [done](auto pairs, auto) { done.set(pairs); });
    const auto pairs = done.get().value_or(std::vector<FirstMaterialOfTag>{});
    services_detail::setRenderingMaterialBuilder({});

    // fabric, wood, (glass: gone), (steel: unreadable), (leather: no material), fabric again.
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].material->name(), "m1");
    EXPECT_EQ(pairs[0].nodeNamesOrNodeIds, (Parts{{"seat", ""}, {"arm", ""}}));
    EXPECT_EQ(pairs[1].material->name(), "m2");
    EXPECT_EQ(pairs[1].nodeNamesOrNodeIds, (Parts{{"legs", "n2"}}));
    EXPECT_EQ(pairs[2].material->name(), "m1") << "a tag carried twice gives its pair twice";
    std::vector<std::string> asked;
    for (const auto& request : backend.requests("classes/Material")) asked.push_back(request.body["where"].value("objectId", ""));
    EXPECT_EQ(asked, (std::vector<std::string>{"m1", "m2", "gone", "broken", "m1"})) << "one after another, first ids only";

    test::Await<std::size_t> empty;
    MaterialService::sharedInstance().obtainFirstMaterialsOfComponent(nullptr, [empty](auto found, auto error) {
        empty.set(error ? 99 : found.size());
    });
    EXPECT_EQ(empty.get(), 0u);
}

}  // namespace
}  // namespace vantrel
