// Saving a design of 200 items with 1,000 assigned materials and reading it back, through the
// concept store and through plain SQLite statements on the same schema, in one transaction each.
//
// Both sides start from a file that holds the schema and nothing else, open it with the same
// settings (write-ahead log, every commit synced), write the design in one transaction, close,
// open again and read the design back whole (every value of every row). Runs alternate between the
// two so that both meet the same machine.
//
//  - BM_SaveAndReadDesign: counters ours_ms, plain_ms (medians of whole runs), ratio (goal <= 1.5),
//    and the parts: ours_save_ms, plain_save_ms, ours_read_ms, plain_read_ms (each including the
//    opening before it, of which ours_open_ms, plain_open_ms), read_ratio (goal <= 1.5).
//
// Run: vantrel_bench --benchmark_filter=SaveAndReadDesign

#include "support/BenchBackend.hpp"
#include "vantrel/services/AssignedMaterialEntity.hpp"
#include "vantrel/services/ConceptEntity.hpp"
#include "vantrel/services/ConceptItemEntity.hpp"
#include "vantrel/services/CoreDataService.hpp"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace vantrel;
using Clock = std::chrono::steady_clock;

constexpr int kItems = 200;
constexpr int kMaterialsPerItem = 5;
constexpr int kRuns = 15;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::filesystem::path freshFile(const char* name) {
    const auto directory =
        std::filesystem::temp_directory_path() / ("vantrel-store-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto file = directory / name;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + suffix);
    // The schema, written by the store itself, for both sides.
    PersistentContainer schema("CodeBase", CoreDataService::codeBaseModel(), file);
    schema.loadPersistentStores();
    return file;
}

struct Timing {
    double save = 0;
    double read = 0;
    double open = 0;  // the opening that starts the read
    std::size_t checksum = 0;
};

// ---- through the store ----------------------------------------------------------------------

Timing throughTheStore(const std::filesystem::path& file) {
    Timing timing;
    auto start = Clock::now();
    {
        PersistentContainer container("CodeBase", CoreDataService::codeBaseModel(), file);
        container.loadPersistentStores();
        auto& context = container.viewContext();
        auto concept_ = context.insertNewObject<ConceptEntity>(ConceptEntity::entityName);
        concept_->setName("Bench design");
        concept_->setUser_id("bench-user");
        concept_->setLastOpened(std::chrono::system_clock::now());
        for (int i = 0; i < kItems; ++i) {
            auto item = context.insertNewObject<ConceptItemEntity>(ConceptItemEntity::entityName);
            item->setId("item-" + std::to_string(i));
            item->setComponent_id("component-" + std::to_string(i % 17));
            item->setPositionX(static_cast<float>(i));
            item->setPositionY(0.5f);
            item->setPositionZ(-1.0f);
            item->setRotationY(0.7071068f);
            item->setRotationW(0.7071068f);
            for (int m = 0; m < kMaterialsPerItem; ++m) {
                auto material = context.insertNewObject<AssignedMaterialEntity>(AssignedMaterialEntity::entityName);
                material->setTag("tag-" + std::to_string(m));
                material->setMaterial_id("material-" + std::to_string((i + m) % 31));
                item->addToAssignedMaterials(material);
            }
            concept_->addToConceptItems(item);
        }
        if (auto error = context.save()) throw std::runtime_error(error->description());
    }
    timing.save = msSince(start);
    start = Clock::now();
    {
        PersistentContainer container("CodeBase", CoreDataService::codeBaseModel(), file);
        container.loadPersistentStores();
        timing.open = msSince(start);
        auto request = ConceptEntity::fetchRequest();
        request.predicate = Predicate("user_id == %@", {AttributeValue(std::string("bench-user"))});
        auto concepts = container.viewContext().fetchAs<ConceptEntity>(request);
        for (const auto& concept_ : concepts.value()) {
            timing.checksum += concept_->name()->size();
            for (const auto& item : concept_->conceptItems()) {
                timing.checksum += item->id()->size() + item->component_id()->size() +
                                   static_cast<std::size_t>(item->positionX() + item->rotationW());
                for (const auto& material : item->assignedMaterials()) {
                    timing.checksum += material->tag()->size() + material->material_id()->size();
                }
            }
        }
    }
    timing.read = msSince(start);
    return timing;
}

// ---- plain statements -----------------------------------------------------------------------

struct Statement {
    sqlite3_stmt* handle = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &handle, nullptr); }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void text(int index, const std::string& value) {
        sqlite3_bind_text(handle, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    void run() {
        sqlite3_step(handle);
        sqlite3_reset(handle);
    }
    std::string column(int index) {
        const auto* text = sqlite3_column_text(handle, index);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(handle, index)))
                    : "";
    }
};

sqlite3* openPlain(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    return db;
}

struct PlainItem {
    std::string id, componentId;
    float x, y, z, rx, ry, rz, rw;
    std::vector<std::pair<std::string, std::string>> materials;
};

Timing plainStatements(const std::filesystem::path& file) {
    Timing timing;
    auto start = Clock::now();
    {
        std::vector<PlainItem> items;
        for (int i = 0; i < kItems; ++i) {
            PlainItem item{"item-" + std::to_string(i),
                           "component-" + std::to_string(i % 17),
                           static_cast<float>(i),
                           0.5f,
                           -1.0f,
                           0.0f,
                           0.7071068f,
                           0.0f,
                           0.7071068f,
                           {}};
            for (int m = 0; m < kMaterialsPerItem; ++m) {
                item.materials.emplace_back("tag-" + std::to_string(m), "material-" + std::to_string((i + m) % 31));
            }
            items.push_back(std::move(item));
        }
        sqlite3* db = openPlain(file);
        {
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            Statement concept_(db, "INSERT INTO ConceptEntity (Z_PK, name, user_id, lastOpened) VALUES (1, ?, ?, ?)");
            concept_.text(1, "Bench design");
            concept_.text(2, "bench-user");
            sqlite3_bind_double(
                concept_.handle, 3,
                std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
            concept_.run();
            Statement item(
                db,
                "INSERT INTO ConceptItemEntity (Z_PK, id, component_id, positionX, positionY, positionZ, rotationX, "
                "rotationY, rotationZ, rotationW, concept) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1)");
            Statement material(
                db, "INSERT INTO AssignedMaterialEntity (Z_PK, tag, material_id, conceptItem) VALUES (?, ?, ?, ?)");
            int materialKey = 0;
            for (std::size_t i = 0; i < items.size(); ++i) {
                const auto& it = items[i];
                sqlite3_bind_int64(item.handle, 1, static_cast<sqlite3_int64>(i + 1));
                item.text(2, it.id);
                item.text(3, it.componentId);
                const float values[] = {it.x, it.y, it.z, it.rx, it.ry, it.rz, it.rw};
                for (int v = 0; v < 7; ++v) sqlite3_bind_double(item.handle, 4 + v, values[v]);
                item.run();
                for (const auto& [tag, id] : it.materials) {
                    sqlite3_bind_int64(material.handle, 1, ++materialKey);
                    material.text(2, tag);
                    material.text(3, id);
                    sqlite3_bind_int64(material.handle, 4, static_cast<sqlite3_int64>(i + 1));
                    material.run();
                }
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    timing.save = msSince(start);
    start = Clock::now();
    {
        sqlite3* db = openPlain(file);
        timing.open = msSince(start);
        {
            Statement concepts(db, "SELECT Z_PK, name FROM ConceptEntity WHERE user_id = ? ORDER BY Z_PK");
            concepts.text(1, "bench-user");
            Statement items(
                db,
                "SELECT Z_PK, id, component_id, positionX, positionY, positionZ, rotationX, rotationY, rotationZ, "
                "rotationW FROM ConceptItemEntity WHERE concept = ? ORDER BY Z_PK");
            Statement materials(
                db,
                "SELECT m.tag, m.material_id, m.conceptItem FROM AssignedMaterialEntity m JOIN ConceptItemEntity i "
                "ON m.conceptItem = i.Z_PK WHERE i.concept = ? ORDER BY m.Z_PK");
            while (sqlite3_step(concepts.handle) == SQLITE_ROW) {
                const auto conceptKey = sqlite3_column_int64(concepts.handle, 0);
                timing.checksum += concepts.column(1).size();
                std::vector<PlainItem> read;
                sqlite3_bind_int64(items.handle, 1, conceptKey);
                while (sqlite3_step(items.handle) == SQLITE_ROW) {
                    PlainItem item{items.column(1), items.column(2), 0, 0, 0, 0, 0, 0, 0, {}};
                    item.x = static_cast<float>(sqlite3_column_double(items.handle, 3));
                    item.rw = static_cast<float>(sqlite3_column_double(items.handle, 9));
                    timing.checksum +=
                        item.id.size() + item.componentId.size() + static_cast<std::size_t>(item.x + item.rw);
                    read.push_back(std::move(item));
                }
                sqlite3_reset(items.handle);
                sqlite3_bind_int64(materials.handle, 1, conceptKey);
                while (sqlite3_step(materials.handle) == SQLITE_ROW) {
                    const auto owner = static_cast<std::size_t>(sqlite3_column_int64(materials.handle, 2)) - 1;
                    auto tag = materials.column(0);
                    auto id = materials.column(1);
                    timing.checksum += tag.size() + id.size();
                    if (owner < read.size()) read[owner].materials.emplace_back(std::move(tag), std::move(id));
                }
                sqlite3_reset(materials.handle);
            }
        }
        sqlite3_close(db);
    }
    timing.read = msSince(start);
    return timing;
}

void BM_SaveAndReadDesign(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<double> ours, plain, oursSave, plainSave, oursRead, plainRead, oursOpen, plainOpen;
        std::size_t oursSum = 0;
        std::size_t plainSum = 0;
        for (int run = 0; run < kRuns; ++run) {
            const auto a = throughTheStore(freshFile("ours.sqlite"));
            const auto b = plainStatements(freshFile("plain.sqlite"));
            ours.push_back(a.save + a.read);
            plain.push_back(b.save + b.read);
            oursSave.push_back(a.save);
            plainSave.push_back(b.save);
            oursRead.push_back(a.read);
            plainRead.push_back(b.read);
            oursOpen.push_back(a.open);
            plainOpen.push_back(b.open);
            oursSum = a.checksum;
            plainSum = b.checksum;
        }
        using vantrel_bench::percentile;
        state.SetIterationTime(0.001 * percentile(ours, 50));
        state.counters["ours_ms"] = percentile(ours, 50);
        state.counters["plain_ms"] = percentile(plain, 50);
        state.counters["ratio"] = percentile(ours, 50) / percentile(plain, 50);
        state.counters["ours_save_ms"] = percentile(oursSave, 50);
        state.counters["plain_save_ms"] = percentile(plainSave, 50);
        state.counters["ours_read_ms"] = percentile(oursRead, 50);
        state.counters["plain_read_ms"] = percentile(plainRead, 50);
        state.counters["ours_open_ms"] = percentile(oursOpen, 50);
        state.counters["plain_open_ms"] = percentile(plainOpen, 50);
        state.counters["read_ratio"] = percentile(oursRead, 50) / percentile(plainRead, 50);
        state.counters["same_rows"] = oursSum == plainSum ? 1 : 0;
    }
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                ("vantrel-store-bench-" + std::to_string(::getpid())));
}
BENCHMARK(BM_SaveAndReadDesign)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
