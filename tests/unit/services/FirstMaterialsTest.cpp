// The first material of each tagged part of a component, built from the records the backend
// answers with.

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
        if (id == "bare") return test::ServicesFakeBackend::results(json::array({{{"objectId", id}}}));
        if (id.size() < 2 || id[0] != 'm') return std::nullopt;
        // Each material tells itself apart by its shininess: m1 → 1.5, m2 → 2.5.
        const double shininess = std::stoi(id.substr(1)) + 0.5;
        return test::ServicesFakeBackend::results(
            json::array({{{"objectId", id}, {"scnProperties", {{"shininess", shininess}}}}}));
    });
    auto component = std::make_shared<ComponentEntity>();
    component->set("nodesToTags",
                   ParseValue::fromJSON(json::array({{{"nodeName", "seat"}, {"tag", "fabric"}},
                                                     {{"nodeName", "legs"}, {"nodeId", "n2"}, {"tag", "wood"}},
                                                     {{"nodeName", "untagged"}},
                                                     {{"nodeName", "top"}, {"tag", "glass"}},
                                                     {{"nodeName", "frame"}, {"tag", "steel"}},
                                                     {{"nodeName", "cushion"}, {"tag", "leather"}},
                                                     {{"nodeName", "rug"}, {"tag", "wool"}},
                                                     {{"nodeName", "arm"}, {"tag", "fabric"}}})));
    component->set("tagsToMaterials",
                   ParseValue::fromJSON(json::array({{{"tag", "fabric"}, {"materialIds", {"m1", "m9"}}},
                                                     {{"tag", "wood"}, {"materialIds", {"m2"}}},
                                                     {{"tag", "glass"}, {"materialIds", {"gone"}}},
                                                     {{"tag", "steel"}, {"materialIds", {"broken"}}},
                                                     {{"tag", "wool"}, {"materialIds", {"bare"}}}})));
    test::Await<std::vector<FirstMaterialOfTag>> done;
    MaterialService::sharedInstance().obtainFirstMaterialsOfComponent(component,
                                                                      [done](auto pairs, auto) { done.set(pairs); });
    const auto pairs = done.get().value_or(std::vector<FirstMaterialOfTag>{});

    // fabric, wood, (glass: gone), (steel: unreadable), (leather: no material), (wool: a record
    // that describes no material), fabric again.
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].material->shininess(), 1.5);
    EXPECT_EQ(pairs[0].nodeNamesOrNodeIds, (Parts{{"seat", ""}, {"arm", ""}}));
    EXPECT_EQ(pairs[1].material->shininess(), 2.5);
    EXPECT_EQ(pairs[1].nodeNamesOrNodeIds, (Parts{{"legs", "n2"}}));
    EXPECT_EQ(pairs[2].material->shininess(), 1.5) << "a tag carried twice gives its pair twice";
    std::vector<std::string> asked;
    for (const auto& request : backend.requests("classes/Material"))
        asked.push_back(request.body["where"].value("objectId", ""));
    EXPECT_EQ(asked, (std::vector<std::string>{"m1", "m2", "gone", "broken", "bare", "m1"}))
        << "one after another, first ids only";

    test::Await<std::size_t> empty;
    MaterialService::sharedInstance().obtainFirstMaterialsOfComponent(
        nullptr, [empty](auto found, auto error) { empty.set(error ? 99 : found.size()); });
    EXPECT_EQ(empty.get(), 0u);
}

}  // namespace
}  // namespace vantrel
