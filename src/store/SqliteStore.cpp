#include "store/SqliteStore.hpp"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <algorithm>
#include <string_view>

namespace vantrel::detail {

// One statement prepared once on the connection and reused, driven through SQLite's own calls:
// reading a design reads every column of some thousand rows, and the wrapper's per-column objects
// and checks cost about as much as SQLite's work. Failures throw SQLite::Exception like the wrapper.
// Text and blobs are bound without copies; they must outlive the statement's run.
class PreparedStatement {
public:
    PreparedStatement(sqlite3* db, const std::string& sql) : db_(db) {
        const int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size() + 1), SQLITE_PREPARE_PERSISTENT,
                                          &handle_, nullptr);
        if (rc != SQLITE_OK) throw SQLite::Exception(db, rc);
    }
    ~PreparedStatement() { sqlite3_finalize(handle_); }
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    [[nodiscard]] sqlite3_stmt* handle() const noexcept { return handle_; }
    void restart() noexcept {
        sqlite3_reset(handle_);
        sqlite3_clear_bindings(handle_);
    }
    void bindNull(int index) { check(sqlite3_bind_null(handle_, index)); }
    void bind(int index, std::int64_t value) { check(sqlite3_bind_int64(handle_, index, value)); }
    void bind(int index, double value) { check(sqlite3_bind_double(handle_, index, value)); }
    void bind(int index, std::string_view text) {
        check(sqlite3_bind_text(handle_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
    }
    void bind(int index, const Blob& bytes) {
        check(sqlite3_bind_blob(handle_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC));
    }
    /// One step: true with a row to read, false when done.
    bool step() {
        const int rc = sqlite3_step(handle_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        SQLite::Exception failure(db_, rc);
        sqlite3_reset(handle_);
        throw failure;
    }
    /// Runs a statement without result rows; the number of rows it changed.
    int run() {
        while (step()) {
        }
        return sqlite3_changes(db_);
    }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK) throw SQLite::Exception(db_, rc);
    }

    sqlite3* db_;
    sqlite3_stmt* handle_ = nullptr;
};

// The statements of one entity's table, written once.
struct EntitySql {
    std::string columns;  // "Z_PK", "Z_OPT", attributes, to-one relations
    std::string selectAll;
    std::string selectByKey;
    std::vector<std::string> selectLinked;       // by relation index, for a list of owners; empty for to-many
    std::vector<std::string> selectLinkedToOne;  // the same for one owner
    std::string insert;
    std::string update;
    std::string remove;
    std::string lastKey;  // the largest key given out, from the key table or the rows
    // Prepared once, reused by every save.
    std::unique_ptr<PreparedStatement> insertStatement;
    std::unique_ptr<PreparedStatement> updateStatement;
    std::unique_ptr<PreparedStatement> removeStatement;
};

namespace {

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

constexpr const char* kSetLastKey =
    "INSERT INTO \"Z_PRIMARYKEY\" (\"Z_NAME\", \"Z_MAX\") VALUES (?, ?) "
    "ON CONFLICT(\"Z_NAME\") DO UPDATE SET \"Z_MAX\" = excluded.\"Z_MAX\"";

bool isDamage(int sqliteCode) {
    const int primary = sqliteCode & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

const char* columnType(AttributeType type) {
    switch (type) {
        case AttributeType::integer16:
        case AttributeType::integer32:
        case AttributeType::integer64:
        case AttributeType::boolean: return "INTEGER";
        case AttributeType::float32:
        case AttributeType::float64:
        case AttributeType::date: return "REAL";
        case AttributeType::string: return "TEXT";
        case AttributeType::binaryData: return "BLOB";
    }
    return "";
}

std::vector<std::string> schemaStatements(const ManagedObjectModel& model) {
    std::vector<std::string> statements;
    for (const auto& entity : model.entities()) {
        std::string create = "CREATE TABLE " + quoted(entity.name()) +
                             " (\"Z_PK\" INTEGER PRIMARY KEY, \"Z_OPT\" INTEGER NOT NULL DEFAULT 1";
        for (const auto& attribute : entity.attributes())
            create += ", " + quoted(attribute.name) + " " + columnType(attribute.type);
        std::vector<std::string> indexes;
        for (const auto& relation : entity.relationships()) {
            if (relation.toMany) continue;
            create += ", " + quoted(relation.name) + " INTEGER";
            indexes.push_back("CREATE INDEX " + quoted(entity.name() + "_" + relation.name) + " ON " +
                              quoted(entity.name()) + " (" + quoted(relation.name) + ")");
        }
        statements.push_back(create + ")");
        statements.insert(statements.end(), indexes.begin(), indexes.end());
    }
    return statements;
}

AttributeValue readColumn(sqlite3_stmt* row, int column, AttributeType type) {
    if (type == AttributeType::string) {  // the commonest kind: NULL shows as no text, without asking the type
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
        if (!text) return std::monostate{};
        return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(row, column)));
    }
    if (sqlite3_column_type(row, column) == SQLITE_NULL) return std::monostate{};
    switch (type) {
        case AttributeType::integer16:
        case AttributeType::integer32:
        case AttributeType::integer64: return static_cast<std::int64_t>(sqlite3_column_int64(row, column));
        case AttributeType::boolean: return sqlite3_column_int64(row, column) != 0;
        case AttributeType::float32: return static_cast<double>(static_cast<float>(sqlite3_column_double(row, column)));
        case AttributeType::float64: return sqlite3_column_double(row, column);
        case AttributeType::date: return dateFromSecondsSince1970(sqlite3_column_double(row, column));
        case AttributeType::string: break;  // above
        case AttributeType::binaryData: {
            const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(row, column));
            return Blob(bytes, bytes + sqlite3_column_bytes(row, column));
        }
    }
    return std::monostate{};
}

void bindValue(PreparedStatement& statement, int index, const AttributeValue& value) {
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                statement.bindNull(index);
            } else if constexpr (std::is_same_v<V, std::int64_t>) {
                statement.bind(index, static_cast<std::int64_t>(v));
            } else if constexpr (std::is_same_v<V, bool>) {
                statement.bind(index, static_cast<std::int64_t>(v ? 1 : 0));
            } else if constexpr (std::is_same_v<V, double>) {
                statement.bind(index, v);
            } else if constexpr (std::is_same_v<V, std::string>) {
                statement.bind(index, std::string_view(v));
            } else if constexpr (std::is_same_v<V, Blob>) {
                statement.bind(index, v);
            } else {
                statement.bind(index, secondsSince1970(v));
            }
        },
        value);
}

// Binds a row's values and to-one keys from parameter `first` on, in column order.
int bindRow(PreparedStatement& statement, const EntityDescription& entity, const std::vector<AttributeValue>& values,
            const std::vector<std::int64_t>& links, int first) {
    int index = first;
    for (std::size_t a = 0; a < entity.attributes().size(); ++a) bindValue(statement, index++, values[a]);
    for (std::size_t r = 0; r < entity.relationships().size(); ++r) {
        if (entity.relationships()[r].toMany) continue;
        if (links[r] == 0) {
            statement.bindNull(index++);
        } else {
            statement.bind(index++, static_cast<std::int64_t>(links[r]));
        }
    }
    return index;
}

// Brings the library's own tables and columns to the current layout inside the upgrade's
// transaction: the key table and every row's version. Layout 1 had neither; its rows become
// version 1 and each entity's keys continue after its largest one. Run after the model's
// migrations so that tables they create are covered too; what is there already stays as it is.
// False when a table of the model is missing.
bool upgradeLayout(SQLite::Database& db, const ManagedObjectModel& model) {
    db.exec("CREATE TABLE IF NOT EXISTS \"Z_PRIMARYKEY\" (\"Z_NAME\" TEXT PRIMARY KEY, \"Z_MAX\" INTEGER NOT NULL)");
    db.exec("CREATE TABLE IF NOT EXISTS \"Z_METADATA\" (\"Z_VERSION\" INTEGER NOT NULL)");
    for (const auto& entity : model.entities()) {
        const auto table = quoted(entity.name());
        bool exists = false;
        bool versioned = false;
        SQLite::Statement columns(db, "PRAGMA table_info(" + table + ")");
        while (columns.executeStep()) {
            exists = true;
            versioned = versioned || columns.getColumn(1).getString() == "Z_OPT";
        }
        if (!exists) return false;
        if (!versioned) db.exec("ALTER TABLE " + table + " ADD COLUMN \"Z_OPT\" INTEGER NOT NULL DEFAULT 1");
        SQLite::Statement key(db,
                              "INSERT OR IGNORE INTO \"Z_PRIMARYKEY\" (\"Z_NAME\", \"Z_MAX\") "
                              "SELECT ?, ifnull(max(\"Z_PK\"), 0) FROM " +
                                  table);
        key.bind(1, entity.name());
        key.exec();
    }
    db.exec("DELETE FROM \"Z_METADATA\"");
    db.exec("INSERT INTO \"Z_METADATA\" (\"Z_VERSION\") VALUES (" + std::to_string(SqliteStore::kLayoutVersion) + ")");
    return true;
}

// The layout of the library's own tables; 1 for files written before it was recorded.
int layoutVersion(SQLite::Database& db) {
    if (!db.tableExists("Z_METADATA")) return 1;
    SQLite::Statement query(db, "SELECT ifnull(max(\"Z_VERSION\"), 1) FROM \"Z_METADATA\"");
    return query.executeStep() ? query.getColumn(0).getInt() : 1;
}

// The first problem `PRAGMA quick_check` finds; empty when there is none.
std::string damageOf(SQLite::Database& db) {
    SQLite::Statement check(db, "PRAGMA quick_check(1)");
    if (!check.executeStep()) return "the file's pages cannot be checked";
    auto result = check.getColumn(0).getString();
    return result == "ok" ? std::string() : result;
}

Error openFailure(StoreErrorCode code, const std::filesystem::path& file, const std::string& message,
                  int sqliteCode = 0) {
    nlohmann::json info = {{"file", file.string()}};
    if (sqliteCode != 0) info["sqliteCode"] = sqliteCode;
    return makeStoreError(code, message, std::move(info));
}

}  // namespace

Expected<std::shared_ptr<SqliteStore>> SqliteStore::open(const std::filesystem::path& file,
                                                         std::shared_ptr<const ManagedObjectModel> model,
                                                         const StoreOptions& options) {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        return openFailure(StoreErrorCode::cannotOpen, file, "cannot create the store's directory: " + ec.message());
    std::unique_ptr<SQLite::Database> db;
    try {
        // One thread uses a store at a time (see PersistentContainer), so the connection goes without
        // SQLite's per-call locking, which every read of a column would otherwise pay.
        db = std::make_unique<SQLite::Database>(file.string(),
                                                SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_NOMUTEX,
                                                static_cast<int>(options.busyTimeout.count()));
    } catch (const SQLite::Exception& e) {
        return openFailure(StoreErrorCode::cannotOpen, file, e.what(), e.getErrorCode());
    }
    bool ours = false;
    try {
        const int applicationId = db->execAndGet("PRAGMA application_id").getInt();
        int version = db->execAndGet("PRAGMA user_version").getInt();
        ours = applicationId == kApplicationId;
        if (!ours) {
            const bool empty = applicationId == 0 && version == 0 &&
                               db->execAndGet("SELECT count(*) FROM sqlite_master").getInt() == 0;
            if (!empty) return openFailure(StoreErrorCode::notAStore, file, "the file is a database of another kind");
        }
        if (version > model->versionNumber()) {
            return openFailure(StoreErrorCode::newerVersion, file,
                               "the store was written by a later version (" + std::to_string(version) + ")");
        }
        // Before anything is written: a file whose pages are damaged answers some reads with errors
        // and would take saves into its broken pages, so it is reported and left as it is.
        if (ours) {
            if (auto damage = damageOf(*db); !damage.empty())
                return openFailure(StoreErrorCode::damaged, file, "the store file is damaged: " + damage);
        }
        db->exec("PRAGMA journal_mode=WAL");
        db->exec("PRAGMA synchronous=FULL");
        if (version < model->versionNumber() || (ours && layoutVersion(*db) < kLayoutVersion)) {
            SQLite::Transaction upgrade(*db, SQLite::TransactionBehavior::IMMEDIATE);
            version = db->execAndGet("PRAGMA user_version").getInt();  // another process may have done it
            if (version == 0) {
                for (const auto& sql : schemaStatements(*model)) db->exec(sql);
                db->exec("PRAGMA application_id=" + std::to_string(kApplicationId));
                version = model->versionNumber();
            }
            while (version < model->versionNumber()) {
                const auto& steps = model->migrations();
                const auto step =
                    std::find_if(steps.begin(), steps.end(), [&](const auto& m) { return m.fromVersion == version; });
                if (step == steps.end()) {
                    return openFailure(StoreErrorCode::noMigration, file,
                                       "no migration from store version " + std::to_string(version));
                }
                for (const auto& sql : step->statements) db->exec(sql);
                ++version;
            }
            // Every upgrade, also of a file of the current layout: tables a model's migration made
            // need their version column and keys too.
            if (!upgradeLayout(*db, *model))
                return openFailure(StoreErrorCode::notAStore, file, "the store lacks tables of the model");
            db->exec("PRAGMA user_version=" + std::to_string(version));
            upgrade.commit();
        }
    } catch (const SQLite::Exception& e) {
        auto code = StoreErrorCode::cannotOpen;
        if (isDamage(e.getErrorCode())) code = ours ? StoreErrorCode::damaged : StoreErrorCode::notAStore;
        return openFailure(code, file, e.what(), e.getErrorCode());
    }
    std::shared_ptr<SqliteStore> store(new SqliteStore(file, model, options, std::move(db)));
    // Every table must answer the model's columns; a file whose tables differ is not ours to use.
    // One statement naming them all is prepared (never run): SQLite names what is missing. The
    // names are qualified by their table: SQLite reads an unknown bare "name" as a text literal.
    std::string everyColumn;
    std::string everyTable;
    for (const auto& entity : model->entities()) {
        const auto table = quoted(entity.name());
        everyTable += (everyTable.empty() ? "" : ", ") + table;
        const auto add = [&](const std::string& column) {
            everyColumn += (everyColumn.empty() ? "" : ", ") + table + "." + quoted(column);
        };
        add("Z_PK");
        add("Z_OPT");
        for (const auto& attribute : entity.attributes()) add(attribute.name);
        for (const auto& relation : entity.relationships()) {
            if (!relation.toMany) add(relation.name);
        }
    }
    if (!everyTable.empty()) {
        try {
            PreparedStatement check(store->database_->getHandle(),
                                    "SELECT " + everyColumn + " FROM " + everyTable + " LIMIT 0");
        } catch (const SQLite::Exception& e) {
            return openFailure(StoreErrorCode::notAStore, file, e.what(), e.getErrorCode());
        }
    }
    return store;
}

SqliteStore::SqliteStore(std::filesystem::path file, std::shared_ptr<const ManagedObjectModel> model,
                         StoreOptions options, std::unique_ptr<SQLite::Database> database)
    : file_(std::move(file)), model_(std::move(model)), options_(std::move(options)), database_(std::move(database)) {}

SqliteStore::~SqliteStore() {
    statements_.clear();  // statements before their database
}

EntitySql& SqliteStore::sqlOf(const EntityDescription& entity) {
    auto& slot = sql_[&entity];
    if (slot) return *slot;
    auto sql = std::make_unique<EntitySql>();
    const auto table = quoted(entity.name());
    std::string assignments;
    std::string placeholders = "?, 1";
    sql->columns = "\"Z_PK\", \"Z_OPT\"";
    const auto addColumn = [&](const std::string& name) {
        sql->columns += ", " + quoted(name);
        assignments += (assignments.empty() ? "" : ", ") + quoted(name) + " = ?";
        placeholders += ", ?";
    };
    for (const auto& attribute : entity.attributes()) addColumn(attribute.name);
    for (const auto& relation : entity.relationships()) {
        if (!relation.toMany) addColumn(relation.name);
    }
    sql->selectAll = "SELECT " + sql->columns + " FROM " + table;
    sql->selectByKey = sql->selectAll + " WHERE \"Z_PK\" = ?";
    for (const auto& relation : entity.relationships()) {
        const auto where = sql->selectAll + " WHERE " + quoted(relation.name);
        sql->selectLinked.push_back(relation.toMany ? std::string() : where + " IN (SELECT value FROM json_each(?))");
        sql->selectLinkedToOne.push_back(relation.toMany ? std::string() : where + " = ? ORDER BY \"Z_PK\"");
    }
    sql->insert = "INSERT INTO " + table + " (" + sql->columns + ") VALUES (" + placeholders + ")";
    sql->update = "UPDATE " + table + " SET " + assignments + (assignments.empty() ? "" : ", ") +
                  "\"Z_OPT\" = \"Z_OPT\" + 1 WHERE \"Z_PK\" = ? AND \"Z_OPT\" = ?";
    sql->remove = "DELETE FROM " + table + " WHERE \"Z_PK\" = ? AND \"Z_OPT\" = ?";
    // The rows count too: a connection of an earlier layout may have added rows without the table.
    sql->lastKey =
        "SELECT max(ifnull((SELECT \"Z_MAX\" FROM \"Z_PRIMARYKEY\" WHERE \"Z_NAME\" = ?), 0), "
        "(SELECT ifnull(max(\"Z_PK\"), 0) FROM " +
        table + "))";
    slot = std::move(sql);
    return *slot;
}

PreparedStatement& SqliteStore::statement(const std::string& sql) { return prepared(statements_[sql], sql); }

PreparedStatement& SqliteStore::prepared(std::unique_ptr<PreparedStatement>& slot, const std::string& sql) {
    if (!slot) {
        slot = std::make_unique<PreparedStatement>(database_->getHandle(), sql);
    } else {
        slot->restart();
    }
    return *slot;
}

Error SqliteStore::failure(StoreErrorCode code, const std::exception& exception) {
    nlohmann::json info = {{"file", file_.string()}};
    if (const auto* sqlite = dynamic_cast<const SQLite::Exception*>(&exception)) {
        info["sqliteCode"] = sqlite->getErrorCode();
        if (isDamage(sqlite->getErrorCode())) {
            damaged_ = true;
            code = StoreErrorCode::damaged;
        }
    }
    return makeStoreError(code, exception.what(), std::move(info));
}

void SqliteStore::readRows(const EntityDescription& entity, PreparedStatement& statement, const RowSink& sink) {
    const auto& attributes = entity.attributes();
    const auto& relations = entity.relationships();
    auto* const handle = statement.handle();
    StoredRow row;
    while (statement.step()) {
        row.key = sqlite3_column_int64(handle, 0);
        row.version = sqlite3_column_int64(handle, 1);
        row.values.clear();  // a sink may have taken the values, or the whole row
        row.values.reserve(attributes.size());
        row.links.resize(relations.size());
        int column = 2;
        for (const auto& attribute : attributes) row.values.push_back(readColumn(handle, column++, attribute.type));
        for (std::size_t r = 0; r < relations.size(); ++r)
            row.links[r] = relations[r].toMany ? 0 : sqlite3_column_int64(handle, column++);
        sink(row);
    }
    statement.restart();  // the bound text and blobs are the caller's
}

OptionalError SqliteStore::fetchRows(const EntityDescription& entity,
                                     const std::vector<Predicate::Comparison>& comparisons, const RowSink& sink) {
    try {
        std::string sql = sqlOf(entity).selectAll;
        for (std::size_t i = 0; i < comparisons.size(); ++i) {
            const auto& c = comparisons[i];
            const bool isNull = std::holds_alternative<std::monostate>(c.value);
            sql += (i == 0 ? " WHERE " : " AND ") + quoted(c.key) +
                   (isNull ? (c.equal ? " IS NULL" : " IS NOT NULL") : (c.equal ? " = ?" : " IS NOT ?"));
        }
        sql += " ORDER BY \"Z_PK\"";
        auto& query = statement(sql);
        int index = 1;
        for (const auto& c : comparisons) {
            if (!std::holds_alternative<std::monostate>(c.value)) bindValue(query, index++, c.value);
        }
        readRows(entity, query, sink);
        return std::nullopt;
    } catch (const std::exception& e) {
        return failure(StoreErrorCode::fetchFailed, e);
    }
}

OptionalError SqliteStore::fetchRowsLinkedTo(const EntityDescription& entity, std::size_t relationIndex,
                                             const std::vector<std::int64_t>& ownerKeys, const RowSink& sink) {
    try {
        // One owner: the relation's index yields its rows in key order. Several: one query for all,
        // in the order SQLite finds them (sorting whole rows would cost more than the caller's map).
        const auto& sql = sqlOf(entity);
        if (ownerKeys.size() == 1) {
            auto& query = statement(sql.selectLinkedToOne.at(relationIndex));
            query.bind(1, static_cast<std::int64_t>(ownerKeys.front()));
            readRows(entity, query, sink);
            return std::nullopt;
        }
        auto& query = statement(sql.selectLinked.at(relationIndex));
        const std::string keys = nlohmann::json(ownerKeys).dump();
        query.bind(1, std::string_view(keys));
        readRows(entity, query, sink);
        return std::nullopt;
    } catch (const std::exception& e) {
        return failure(StoreErrorCode::fetchFailed, e);
    }
}

Expected<std::optional<StoredRow>> SqliteStore::fetchRow(const EntityDescription& entity, std::int64_t key) {
    try {
        auto& query = statement(sqlOf(entity).selectByKey);
        query.bind(1, static_cast<std::int64_t>(key));
        std::optional<StoredRow> found;
        readRows(entity, query, [&found](StoredRow& row) { found = std::move(row); });
        return found;
    } catch (const std::exception& e) {
        return failure(StoreErrorCode::fetchFailed, e);
    }
}

Expected<std::unique_ptr<SqliteStore::WriteSession>> SqliteStore::beginWrite() {
    if (damaged_) {
        return makeStoreError(StoreErrorCode::damaged, "the store file is damaged; it is written no more",
                              {{"file", file_.string()}});
    }
    std::unique_ptr<WriteSession> session(new WriteSession(*this));
    try {
        session->transaction_ =
            std::make_unique<SQLite::Transaction>(*database_, SQLite::TransactionBehavior::IMMEDIATE);
    } catch (const std::exception& e) {
        return failure(StoreErrorCode::saveFailed, e);
    }
    return session;
}

SqliteStore::WriteSession::WriteSession(SqliteStore& store) : store_(store) {}

SqliteStore::WriteSession::~WriteSession() = default;  // the transaction rolls back unless committed

Expected<std::int64_t> SqliteStore::WriteSession::reserveKeys(const EntityDescription& entity, std::size_t count) {
    try {
        auto& query = store_.statement(store_.sqlOf(entity).lastKey);
        query.bind(1, entity.name());
        query.step();
        const std::int64_t last = sqlite3_column_int64(query.handle(), 0);
        query.restart();
        auto& record = store_.statement(kSetLastKey);
        record.bind(1, entity.name());
        record.bind(2, static_cast<std::int64_t>(last + static_cast<std::int64_t>(count)));
        record.run();
        return last + 1;
    } catch (const std::exception& e) {
        return store_.failure(StoreErrorCode::saveFailed, e);
    }
}

OptionalError SqliteStore::WriteSession::write(const EntityDescription& entity, Kind kind, std::int64_t key,
                                               std::int64_t version, const std::vector<AttributeValue>* values,
                                               const std::vector<std::int64_t>* links) {
    int changed = 0;
    try {
        auto& sql = store_.sqlOf(entity);
        switch (kind) {
            case Kind::insert: {
                auto& command = store_.prepared(sql.insertStatement, sql.insert);
                command.bind(1, key);
                bindRow(command, entity, *values, *links, 2);
                changed = command.run();
                break;
            }
            case Kind::update: {
                auto& command = store_.prepared(sql.updateStatement, sql.update);
                const int next = bindRow(command, entity, *values, *links, 1);
                command.bind(next, key);
                command.bind(next + 1, version);
                changed = command.run();
                break;
            }
            case Kind::remove: {
                auto& command = store_.prepared(sql.removeStatement, sql.remove);
                command.bind(1, key);
                command.bind(2, version);
                changed = command.run();
                break;
            }
        }
    } catch (const std::exception& e) {
        return store_.failure(StoreErrorCode::saveFailed, e);
    }
    if (changed == 0) {
        // The row is gone or has another version: another connection changed or deleted it.
        return makeStoreError(
            StoreErrorCode::conflict,
            entity.name() + " " + std::to_string(key) + " was changed or deleted by another connection",
            {{"file", store_.file_.string()},
             {"conflicts", nlohmann::json::array({{{"entity", entity.name()}, {"key", key}}})}});
    }
    ++rowsWritten_;
    if (store_.options_.afterRowWritten) store_.options_.afterRowWritten(rowsWritten_);
    return std::nullopt;
}

OptionalError SqliteStore::WriteSession::insert(const EntityDescription& entity, std::int64_t key,
                                                const std::vector<AttributeValue>& values,
                                                const std::vector<std::int64_t>& links) {
    return write(entity, Kind::insert, key, 0, &values, &links);
}

OptionalError SqliteStore::WriteSession::update(const EntityDescription& entity, std::int64_t key, std::int64_t version,
                                                const std::vector<AttributeValue>& values,
                                                const std::vector<std::int64_t>& links) {
    return write(entity, Kind::update, key, version, &values, &links);
}

OptionalError SqliteStore::WriteSession::remove(const EntityDescription& entity, std::int64_t key,
                                                std::int64_t version) {
    return write(entity, Kind::remove, key, version, nullptr, nullptr);
}

OptionalError SqliteStore::WriteSession::commit() {
    try {
        transaction_->commit();
    } catch (const std::exception& e) {
        return store_.failure(StoreErrorCode::saveFailed, e);
    }
    return std::nullopt;
}

}  // namespace vantrel::detail
