// Two connections on one store file (what two processes of a host amount to), damaged files and
// files written before rows carried versions.

#include "StoreTestSupport.hpp"
#include "vantrel/services/ConceptService.hpp"
#include "vantrel/store/StoreError.hpp"

#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include <fstream>

namespace vantrel {
namespace {

using test::ScopedConceptStore;

std::vector<std::shared_ptr<ConceptEntity>> conceptsIn(ManagedObjectContext& context) {
    auto found = context.fetchAs<ConceptEntity>(FetchRequest(ConceptEntity::entityName));
    EXPECT_TRUE(found.hasValue()) << found.error().description();
    return found ? *found : std::vector<std::shared_ptr<ConceptEntity>>{};
}

std::vector<std::string> namesIn(ManagedObjectContext& context) {
    std::vector<std::string> names;
    for (const auto& c : conceptsIn(context)) names.push_back(c->name().value_or("?"));
    return names;
}

// What the file holds, read by a connection of its own.
std::vector<std::string> namesOnFile(const ScopedConceptStore& store) {
    auto reader = store.makeContainer();
    EXPECT_TRUE(reader->isLoaded());
    return namesIn(reader->viewContext());
}

std::shared_ptr<ConceptEntity> insertConcept(ManagedObjectContext& context, const std::string& name) {
    auto c = context.insertNewObject<ConceptEntity>(ConceptEntity::entityName);
    c->setName(name);
    c->setUser_id("user-1");
    return c;
}

std::vector<nlohmann::json> conflictsOf(const OptionalError& error) {
    if (!error || !isStoreError(*error, StoreErrorCode::conflict)) return {};
    return error->userInfo.value("conflicts", nlohmann::json::array()).get<std::vector<nlohmann::json>>();
}

// Two connections X and Y on one file, as two processes of a host would have them.
class StoreConnectionsTest : public ::testing::Test {
protected:
    ScopedConceptStore store;
    std::shared_ptr<PersistentContainer> x = store.makeContainer();
    std::shared_ptr<PersistentContainer> y = store.makeContainer();
    ManagedObjectContext& cx = x->viewContext();
    ManagedObjectContext& cy = y->viewContext();
};

TEST_F(StoreConnectionsTest, AStaleSaveOfADeletedRowIsAConflictAndLosesNoOneElsesSave) {
    insertConcept(cx, "a");
    insertConcept(cx, "b");
    ASSERT_FALSE(cx.save());
    const auto readByY = conceptsIn(cy);
    ASSERT_EQ(readByY.size(), 2u);

    // X deletes its newest concept and saves a new one: the new one gets a key never given out.
    const auto deleted = conceptsIn(cx)[1];
    const auto deletedKey = *deleted->objectID();
    cx.deleteObject(deleted);
    ASSERT_FALSE(cx.save());
    auto c = insertConcept(cx, "c");
    ASSERT_FALSE(cx.save());
    EXPECT_GT(*c->objectID(), deletedKey) << "no key is given out twice";

    // Y saves its edits of the concepts it had read: "b" is gone, so nothing of the save is written.
    readByY[0]->setPopularity(5);
    readByY[1]->setName("b edited");
    const auto error = cy.save();
    ASSERT_TRUE(error) << "an update that matches no row is no success";
    EXPECT_TRUE(isStoreError(*error, StoreErrorCode::conflict)) << error->description();
    EXPECT_EQ(conflictsOf(error), (std::vector<nlohmann::json>{
                                      {{"entity", std::string(ConceptEntity::entityName)}, {"key", deletedKey}}}));
    EXPECT_TRUE(cy.hasChanges());
    EXPECT_EQ(readByY[1]->name(), "b edited") << "the changes stay for a retry";
    EXPECT_EQ(readByY[0]->popularity(), 5);
    EXPECT_EQ(namesOnFile(store), (std::vector<std::string>{"a", "c"}));

    // The retry: the deleted concept leaves Y's context when refreshed, the rest of the save goes in.
    ASSERT_FALSE(cy.refresh(readByY[1], true));
    EXPECT_TRUE(readByY[1]->isDeleted());
    EXPECT_EQ(readByY[1]->managedObjectContext(), nullptr);
    ASSERT_FALSE(cy.save());
    EXPECT_EQ(namesIn(cy), (std::vector<std::string>{"a", "c"})) << "Y's fetch sees X's concept";
    auto reader = store.makeContainer();
    const auto onFile = conceptsIn(reader->viewContext());
    ASSERT_EQ(onFile.size(), 2u);
    EXPECT_EQ(onFile[0]->popularity(), 5);
    EXPECT_EQ(onFile[1]->name(), "c");
    EXPECT_EQ(onFile[1]->objectID(), c->objectID());

    // Keys keep growing across connections, whoever saves.
    auto d = insertConcept(cy, "d");
    ASSERT_FALSE(cy.save());
    EXPECT_GT(*d->objectID(), *c->objectID());
}

TEST_F(StoreConnectionsTest, ChangingOrDeletingARowChangedElsewhereIsAConflictUntilRefreshed) {
    insertConcept(cx, "a");
    insertConcept(cx, "b");
    ASSERT_FALSE(cx.save());
    const auto ofY = conceptsIn(cy);
    const auto ofX = conceptsIn(cx);
    ASSERT_EQ(ofY.size(), 2u);

    ofX[0]->setName("a by X");
    ofX[1]->setConflictsMessage("b by X");
    ASSERT_FALSE(cx.save());

    // An unchanged object takes the other connection's values when fetched again.
    EXPECT_EQ(namesIn(cy), (std::vector<std::string>{"a by X", "b"}));
    ofY[0]->setPopularity(3);
    ASSERT_FALSE(cy.save()) << "read again after X's save, so no conflict";

    // Edited and deleted against rows X changed since.
    EXPECT_EQ(namesIn(cx), (std::vector<std::string>{"a by X", "b"})) << "X takes Y's save";
    EXPECT_EQ(ofX[0]->popularity(), 3);
    ofX[0]->setPopularity(4);
    ofX[1]->setName("b again by X");
    ASSERT_FALSE(cx.save());
    ofY[0]->setName("a by Y");
    cy.deleteObject(ofY[1]);
    const auto error = cy.save();
    EXPECT_EQ(conflictsOf(error).size(), 2u) << (error ? error->description() : "saved");
    EXPECT_EQ(namesOnFile(store), (std::vector<std::string>{"a by X", "b again by X"}));

    // Merging keeps Y's change of the name and takes X's popularity; the deletion stands.
    ASSERT_FALSE(cy.refresh(ofY[0], true));
    ASSERT_FALSE(cy.refresh(ofY[1], true));
    EXPECT_EQ(ofY[0]->name(), "a by Y");
    EXPECT_EQ(ofY[0]->popularity(), 4);
    ASSERT_FALSE(cy.save());
    auto reader = store.makeContainer();
    const auto onFile = conceptsIn(reader->viewContext());
    ASSERT_EQ(onFile.size(), 1u);
    EXPECT_EQ(onFile[0]->name(), "a by Y");
    EXPECT_EQ(onFile[0]->popularity(), 4);

    // Without merging, the changes are dropped for the file's values.
    ofX[0]->setName("a by X, last");
    ASSERT_TRUE(isStoreError(*cx.save(), StoreErrorCode::conflict));
    ASSERT_FALSE(cx.refresh(ofX[0], false));
    EXPECT_EQ(ofX[0]->name(), "a by Y");
    EXPECT_FALSE(cx.hasChanges());
}

TEST_F(StoreConnectionsTest, AnItemAddedElsewhereMakesDeletingItsConceptAConflict) {
    insertConcept(cx, "room");
    ASSERT_FALSE(cx.save());
    const auto ofY = conceptsIn(cy);
    ASSERT_EQ(ofY.size(), 1u);

    auto item = cx.insertNewObject<ConceptItemEntity>(ConceptItemEntity::entityName);
    conceptsIn(cx)[0]->addToConceptItems(item);
    ASSERT_FALSE(cx.save());

    cy.deleteObject(ofY[0]);
    const auto error = cy.save();
    ASSERT_EQ(conflictsOf(error).size(), 1u) << "deleting it would leave X's item without its concept";
    auto reader = store.makeContainer();
    const auto onFile = conceptsIn(reader->viewContext());
    ASSERT_EQ(onFile.size(), 1u);
    EXPECT_EQ(onFile[0]->conceptItems().size(), 1u);
}

TEST(StoreFileTest, AFileWithDamagedPagesIsReportedAndNeitherReadNorWritten) {
    ScopedConceptStore store;
    for (int d = 0; d < 4; ++d) {
        auto c = ConceptService::sharedInstance().spawnConcept("user-1", "design " + std::to_string(d));
        for (int i = 0; i < 30; ++i)
            c->addToConceptItems(ConceptService::sharedInstance().spawnConceptItem(
                "component-" + std::to_string(i), {1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 0.0f, 1.0f}));
    }
    ASSERT_FALSE(store.saveContext());
    CoreDataService::sharedInstance().setPersistentContainer(nullptr);  // the last connection: all in the file
    ASSERT_FALSE(std::filesystem::exists(store.file().string() + "-wal"));

    // The header and the schema stay intact; the last page is overwritten.
    const auto size = std::filesystem::file_size(store.file());
    ASSERT_GE(size, 4u * 4096u);
    {
        std::fstream file(store.file(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(size - 4096));
        const std::string garbage(4096, '\x5a');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    const auto bytes = test::fileBytes(store.file());

    CoreDataService::sharedInstance().setPersistentContainer(store.makeContainer());
    const auto loadError = CoreDataService::sharedInstance().loadError();
    ASSERT_TRUE(loadError) << "the file opened as if whole";
    EXPECT_TRUE(isStoreError(*loadError, StoreErrorCode::damaged)) << loadError->description();
    ConceptService::sharedInstance().spawnConcept("user-1", "new");
    const auto saveError = store.saveContext();
    ASSERT_TRUE(saveError);
    EXPECT_TRUE(isStoreError(*saveError, StoreErrorCode::notLoaded));
    CoreDataService::sharedInstance().setPersistentContainer(nullptr);
    EXPECT_EQ(test::fileBytes(store.file()), bytes);
}

// A store as the library wrote it before rows carried versions and keys were kept: the tables of
// the model with their key column, and nothing else of the library's own.
void writeFirstLayout(const std::filesystem::path& file, const ManagedObjectModel& model) {
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA journal_mode=WAL");
    for (const auto& entity : model.entities()) {
        std::string create = "CREATE TABLE \"" + entity.name() + "\" (\"Z_PK\" INTEGER PRIMARY KEY";
        for (const auto& attribute : entity.attributes()) create += ", \"" + attribute.name + "\"";
        for (const auto& relation : entity.relationships()) {
            if (!relation.toMany) create += ", \"" + relation.name + "\" INTEGER";
        }
        db.exec(create + ")");
    }
    db.exec("INSERT INTO ConceptEntity (Z_PK, name, user_id) VALUES (1, 'kept', 'user-1'), (2, 'newest', 'user-1')");
    db.exec("INSERT INTO ConceptItemEntity (Z_PK, component_id, concept) VALUES (1, 'sofa', 2)");
    db.exec("PRAGMA application_id=" + std::to_string(0x56544C31));
    db.exec("PRAGMA user_version=1");
}

TEST(StoreFileTest, AStoreOfTheFirstLayoutOpensAndTakesVersionsAndKeys) {
    ScopedConceptStore store;
    CoreDataService::sharedInstance().setPersistentContainer(nullptr);
    std::filesystem::remove(store.file());
    writeFirstLayout(store.file(), *CoreDataService::codeBaseModel());

    auto x = store.makeContainer();
    ASSERT_TRUE(x->isLoaded());
    auto y = store.makeContainer();
    auto& cx = x->viewContext();
    const auto concepts = conceptsIn(cx);
    ASSERT_EQ(namesIn(cx), (std::vector<std::string>{"kept", "newest"}));
    ASSERT_EQ(concepts[1]->conceptItems().size(), 1u);
    EXPECT_EQ(concepts[1]->conceptItems()[0]->component_id(), "sofa");

    const auto ofY = conceptsIn(y->viewContext());
    cx.deleteObject(concepts[1]);
    ASSERT_FALSE(cx.save());
    auto fresh = insertConcept(cx, "fresh");
    ASSERT_FALSE(cx.save());
    EXPECT_EQ(fresh->objectID(), 3) << "keys continue after the largest the file held";
    ofY[1]->setName("renamed");
    EXPECT_EQ(conflictsOf(y->viewContext().save()).size(), 1u);
    EXPECT_EQ(namesOnFile(store), (std::vector<std::string>{"kept", "fresh"}));
}

TEST(StoreFileTest, ATableMadeByAMigrationTakesVersionsAndKeysToo) {
    ScopedConceptStore store;
    CoreDataService::sharedInstance().setPersistentContainer(nullptr);
    const auto& current = *CoreDataService::codeBaseModel();
    std::vector<EntityDescription> entities = current.entities();
    entities.emplace_back("Note", std::vector<AttributeDescription>{{"text", AttributeType::string}},
                          std::vector<RelationshipDescription>{}, [] { return std::make_shared<ManagedObject>(); });
    const auto withNotes = std::make_shared<const ManagedObjectModel>(
        "CodeBase", current.versionNumber() + 1, std::move(entities),
        std::vector<ManagedObjectModel::Migration>{
            {current.versionNumber(), {"CREATE TABLE \"Note\" (\"Z_PK\" INTEGER PRIMARY KEY, \"text\" TEXT)"}}});

    PersistentContainer migrated("CodeBase", withNotes, store.file());
    const auto error = migrated.loadPersistentStores();
    ASSERT_FALSE(error) << error->description();
    auto& context = migrated.viewContext();
    auto first = context.insertNewObject("Note");
    ASSERT_FALSE(context.save());
    context.deleteObject(first);
    ASSERT_FALSE(context.save());
    auto second = context.insertNewObject("Note");
    second->setValue("text", std::string("kept"));
    ASSERT_FALSE(context.save());
    EXPECT_EQ(second->objectID(), 2);
}

}  // namespace
}  // namespace vantrel
