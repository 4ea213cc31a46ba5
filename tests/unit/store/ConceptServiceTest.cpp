// Copies of concepts and the operations of the concept entities, with a scripted backend where an
// operation reads components or materials.

#include "services/RenderingMaterials.hpp"
#include "StoreTestSupport.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/ConceptService.hpp"

#include <gtest/gtest.h>

#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::ScopedConceptStore;

ConceptService& service() { return ConceptService::sharedInstance(); }

TEST(ConceptServiceTest, ACloneHasNewItemsAndMaterialsAndLeavesTheSourceAsItWas) {
    test::ScopedWallClock clock;
    ScopedConceptStore store;
    auto source = service().spawnConcept("user-1", "Corner sofa");
    source->setPopularity(12);
    source->setThumbnail(Blob{1, 2, 3});
    source->setGroundEnabled(true);
    source->setGroundColorRgba("1 0 0 1");
    source->setConflictsMessage("overlap");
    const std::vector<std::pair<std::string, SCNVector3>> placed = {{"sofa", {1, 0, 2}}, {"lamp", {-1, 0, 0.5f}}};
    for (const auto& [componentId, position] : placed) {
        auto item = service().spawnConceptItem(componentId, position, {0, 0.3826834f, 0, 0.9238795f});
        item->assignMaterial("fabric", componentId + "-velvet");
        source->addToConceptItems(item);
    }
    ASSERT_FALSE(store.saveContext());
    clock.advance(3600);

    auto copy = service().clone(source);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->name(), "Corner sofa");
    EXPECT_EQ(copy->user_id(), "user-1");
    EXPECT_EQ(copy->popularity(), 0);
    EXPECT_EQ(copy->thumbnail(), (Blob{1, 2, 3}));
    ASSERT_TRUE(copy->lastOpened());
    EXPECT_NEAR(secondsSince1970(*copy->lastOpened()), clock.now(), 1e-6) << "opened at the time of cloning";
    EXPECT_FALSE(copy->groundEnabled()) << "ground settings are not copied";
    EXPECT_FALSE(copy->groundColorRgba());
    EXPECT_FALSE(copy->conflictsMessage());

    const auto sourceItems = source->conceptItems();
    const auto copyItems = copy->conceptItems();
    ASSERT_EQ(copyItems.size(), 2u);
    for (std::size_t i = 0; i < copyItems.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& from = sourceItems[i];
        const auto& to = copyItems[i];
        EXPECT_NE(to, from);
        ASSERT_TRUE(to->id());
        EXPECT_NE(to->id(), from->id());
        EXPECT_EQ(to->concept_(), copy);
        EXPECT_EQ(to->component_id(), from->component_id());
        EXPECT_EQ(to->positionX(), from->positionX());
        EXPECT_EQ(to->positionZ(), from->positionZ());
        EXPECT_EQ(to->rotationY(), from->rotationY());
        EXPECT_EQ(to->rotationW(), from->rotationW());
        ASSERT_EQ(to->assignedMaterials().size(), 1u);
        EXPECT_NE(to->assignedMaterials()[0], from->assignedMaterials()[0]);
        EXPECT_EQ(to->assignedMaterials()[0]->conceptItem(), to);
        EXPECT_EQ(to->assignedMaterials()[0]->material_id(), from->assignedMaterials()[0]->material_id());
    }
    // The source is untouched: still its own two items and materials, nothing changed since the save.
    EXPECT_EQ(source->conceptItems(), sourceItems);
    EXPECT_EQ(source->popularity(), 12);
    EXPECT_TRUE(store.context().updatedObjects().empty());
    EXPECT_EQ(store.context().insertedObjects().size(), 5u) << "one concept, two items, two materials";
}

TEST(ConceptServiceTest, EntityOperationsReadTheItemsAndTheirMaterials) {
    ScopedConceptStore store;
    auto concept_ = service().spawnConcept("user-1", "room");
    auto item = service().spawnConceptItem("sofa", {}, {0, 0, 0, 1});
    concept_->addToConceptItems(item);

    // One entry per tag: an existing tag is replaced (cleared for no id), a new tag added.
    item->assignMaterial("fabric", "velvet");
    item->assignMaterial("legs", "oak");
    item->assignMaterial("fabric", std::nullopt);
    const auto materials = item->assignedMaterials();
    ASSERT_EQ(materials.size(), 2u);
    EXPECT_EQ(materials[0]->tag(), "fabric");
    EXPECT_EQ(materials[0]->material_id(), std::nullopt);
    EXPECT_EQ(materials[1]->material_id(), "oak");

    struct Assigned {
        std::string materialId;
        bool expected;
    };
    for (const auto& [materialId, expected] :
         std::vector<Assigned>{{"oak", true}, {"velvet", false}, {"  ", false}, {"", false}}) {
        EXPECT_EQ(item->isMaterialAssigned(materialId), expected) << materialId;
        EXPECT_EQ(concept_->isMaterialAssigned(materialId), expected) << materialId;
    }
    auto sofa = std::make_shared<ComponentEntity>();
    sofa->setObjectId("sofa");
    auto lamp = std::make_shared<ComponentEntity>();
    lamp->setObjectId("lamp");
    EXPECT_TRUE(concept_->isComponentExists(sofa));
    EXPECT_FALSE(concept_->isComponentExists(lamp));
    EXPECT_FALSE(service().spawnConcept("user-1", "empty")->isComponentExists(sofa));

    concept_->setGroundColor(UIColor(0.2, 0.4, 0.6, 1.0));
    EXPECT_EQ(concept_->groundColor(), UIColor(0.2, 0.4, 0.6, 1.0));
    concept_->setGroundColor(std::nullopt);
    EXPECT_FALSE(concept_->groundColorRgba());
    EXPECT_FALSE(concept_->groundColor());
}

class ConceptBackendTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        backend_.setRoute([](const test::FakeParseRequest& request) -> std::optional<std::string> {
            const auto& where = request.body["where"];
            if (request.path.starts_with("classes/Material")) {
                const std::string id = where.value("objectId", "");
                if (id == "gone") return test::ServicesFakeBackend::results(json::array());
                if (id == "broken") return test::ServicesFakeBackend::error(500, 1);
                // "flat" has no rendering properties, so it gives no rendering material.
                if (id == "flat") return test::ServicesFakeBackend::results(json::array({{{"objectId", id}}}));
                return test::ServicesFakeBackend::results(
                    json::array({{{"objectId", id}, {"name", id}, {"scnProperties", json::object()}}}));
            }
            if (!request.path.starts_with("classes/Component") || !where.contains("objectId")) return std::nullopt;
            json found = json::array();
            std::set<std::string> ids;  // each record once, as a server answers
            for (const auto& id : where["objectId"].value("$in", json::array())) ids.insert(id.get<std::string>());
            for (const auto& id : ids) found.push_back({{"objectId", id}});
            return test::ServicesFakeBackend::results(found);
        });
    }

    test::ScopedSdkSettings settings_;
    test::ServicesFakeBackend backend_;
    ScopedConceptStore store_;
};

TEST_F(ConceptBackendTest, AssignedMaterialsComeInOrderWithoutWhatCannotBeUsed) {
    auto item = service().spawnConceptItem("sofa", {}, {0, 0, 0, 1});
    item->assignMaterial("a", std::nullopt);
    item->assignMaterial("b", "gone");
    item->assignMaterial("c", "broken");
    item->assignMaterial("d", "velvet");
    item->assignMaterial("e", "flat");
    item->assignMaterial("f", "");
    const test::LogCapture log;
    test::Await<std::pair<std::vector<AssignedMaterialTriple>, OptionalError>> done;
    item->getAssignedMaterials([done](auto triples, auto error) { done.set({triples, error}); });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->second);
    const auto& triples = result->first;
    ASSERT_EQ(triples.size(), 4u) << "c cannot be read and e gives no rendering material";
    EXPECT_EQ(std::get<0>(triples[0]), "a");
    EXPECT_EQ(std::get<1>(triples[0]), std::nullopt);
    EXPECT_EQ(std::get<0>(triples[1]), "b");
    EXPECT_EQ(std::get<1>(triples[1]), std::nullopt) << "a material that no longer exists";
    EXPECT_EQ(std::get<2>(triples[1]), nullptr);
    EXPECT_EQ(std::get<0>(triples[2]), "d");
    EXPECT_EQ(std::get<1>(triples[2]), "velvet");
    EXPECT_TRUE(std::get<2>(triples[2])) << "a record with rendering properties gives a material";
    EXPECT_EQ(std::get<0>(triples[3]), "f");
    EXPECT_EQ(log.count("Skipped. Unable to obtain material data (from assigned material of concept item) due error: "),
              1u);
    EXPECT_EQ(log.count("Skipped. Generated SCNMaterial (of assigned material of concept item) is nil."), 1u);
    std::vector<std::string> asked;
    for (const auto& request : backend_.requests("classes/Material"))
        asked.push_back(request.body["where"].value("objectId", ""));
    EXPECT_EQ(asked, (std::vector<std::string>{"gone", "broken", "velvet", "flat"})) << "one after another, ids only";
}

TEST_F(ConceptBackendTest, ComponentsOfAConceptArriveOnceEach) {
    auto concept_ = service().spawnConcept("user-1", "room");
    for (const char* id : {"sofa", "lamp", "sofa"})
        concept_->addToConceptItems(service().spawnConceptItem(id, {}, {0, 0, 0, 1}));
    test::Await<std::pair<std::vector<std::string>, OptionalError>> done;
    concept_->obtainComponents([done](auto components, auto error) {
        std::vector<std::string> ids;
        for (const auto& c : components) ids.push_back(c->objectId().value_or(""));
        done.set({ids, error});
    });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->second);
    auto ids = result->first;
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"lamp", "sofa"}));

    // Without items the answer comes at once, and without asking the backend.
    const auto asked = backend_.requests().size();
    bool answered = false;
    service().spawnConcept("user-1", "empty")->obtainComponents([&](auto components, auto error) {
        answered = components.empty() && !error;
    });
    EXPECT_TRUE(answered);
    test::Await<bool> blank;
    service().spawnConceptItem("  ", {}, {0, 0, 0, 1})->obtainComponent([blank](auto component, auto error) {
        blank.set(!component && !error);
    });
    EXPECT_EQ(blank.get(), true);
    EXPECT_EQ(backend_.requests().size(), asked);
}

}  // namespace
}  // namespace vantrel
