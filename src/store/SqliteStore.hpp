#pragma once

// The file behind a persistent container: one SQLite database, one table per entity.
//
// Each entity's table has the key column "Z_PK", the row's version "Z_OPT", one column per attribute
// and one column per to-one relation holding the related row's key (0 or NULL for none). To-many
// relations have no column: they are the rows of the destination whose inverse column holds the
// owner's key. The database carries the library's application id and the model's version as
// user_version.
//
// Several connections (processes) may share one file, so nothing a save writes may rely on what
// this connection read earlier:
//  - keys come from "Z_PRIMARYKEY", the largest key ever given out per entity, raised inside the
//    save's transaction, so a key is never given out twice, not even after its row was deleted;
//  - "Z_OPT" grows with every update, and an update or delete names the version it read: when
//    another connection changed or deleted the row since, nothing matches and the save is a
//    conflict.
// The layout of these tables has its own version, kept in "Z_METADATA": files of layout 1 (written
// before keys and versions were kept) are brought to layout 2 on open, in the upgrade's transaction.

#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/ManagedObjectModel.hpp"
#include "vantrel/store/PersistentContainer.hpp"
#include "vantrel/store/StoreError.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace SQLite {
class Database;
class Statement;
class Transaction;
}  // namespace SQLite

namespace vantrel::detail {

struct EntitySql;
class PreparedStatement;

/// One row as the store reads and writes it.
struct StoredRow {
    std::int64_t key = 0;
    std::int64_t version = 0;
    std::vector<AttributeValue> values;  // by attribute index
    std::vector<std::int64_t> links;     // by relation index; the related key for to-one relations, else 0
};

class SqliteStore {
public:
    /// The application id written into every store file ("VTL1").
    static constexpr std::int32_t kApplicationId = 0x56544C31;
    /// The layout of the library's own tables and columns (see above).
    static constexpr int kLayoutVersion = 2;

    /// Opens `file` for `model`, creating or migrating it as needed.
    static Expected<std::shared_ptr<SqliteStore>> open(const std::filesystem::path& file,
                                                       std::shared_ptr<const ManagedObjectModel> model,
                                                       const StoreOptions& options);
    ~SqliteStore();
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    /// Receives each row as it is read. It may take the row's values; the row is reused for the next.
    using RowSink = std::function<void(StoredRow&)>;
    /// Passes the rows of `entity` that satisfy every comparison to `sink`, by key.
    OptionalError fetchRows(const EntityDescription& entity, const std::vector<Predicate::Comparison>& comparisons,
                            const RowSink& sink);
    /// Passes the rows of `entity` whose to-one relation `relationIndex` holds one of `ownerKeys` to
    /// `sink`: by key for one owner, else in no particular order.
    OptionalError fetchRowsLinkedTo(const EntityDescription& entity, std::size_t relationIndex,
                                    const std::vector<std::int64_t>& ownerKeys, const RowSink& sink);
    /// The row of `entity` with `key`; none when there is no such row.
    Expected<std::optional<StoredRow>> fetchRow(const EntityDescription& entity, std::int64_t key);

    /// One write transaction: rolled back unless `commit()` succeeds.
    class WriteSession {
    public:
        ~WriteSession();
        WriteSession(const WriteSession&) = delete;
        WriteSession& operator=(const WriteSession&) = delete;
        /// Takes `count` keys of `entity` that were never given out; the first of them (the others
        /// follow it). They are kept from other connections once the transaction commits.
        Expected<std::int64_t> reserveKeys(const EntityDescription& entity, std::size_t count);
        /// Writes a new row of version 1: `values` by attribute index, `links` by relation index (0 for none).
        OptionalError insert(const EntityDescription& entity, std::int64_t key,
                             const std::vector<AttributeValue>& values, const std::vector<std::int64_t>& links);
        /// Rewrites the row `key` of `version` with `values` and `links`, raising its version by one.
        /// A conflict error when no row `key` of `version` exists.
        OptionalError update(const EntityDescription& entity, std::int64_t key, std::int64_t version,
                             const std::vector<AttributeValue>& values, const std::vector<std::int64_t>& links);
        /// Deletes the row `key` of `version`; a conflict error when there is none.
        OptionalError remove(const EntityDescription& entity, std::int64_t key, std::int64_t version);
        OptionalError commit();

    private:
        friend class SqliteStore;
        explicit WriteSession(SqliteStore& store);
        enum class Kind { insert, update, remove };
        OptionalError write(const EntityDescription& entity, Kind kind, std::int64_t key, std::int64_t version,
                            const std::vector<AttributeValue>* values, const std::vector<std::int64_t>* links);
        SqliteStore& store_;
        std::unique_ptr<SQLite::Transaction> transaction_;
        std::size_t rowsWritten_ = 0;
    };
    /// Starts a write transaction (taking the file's write lock at once).
    Expected<std::unique_ptr<WriteSession>> beginWrite();

    [[nodiscard]] const std::filesystem::path& file() const noexcept { return file_; }

private:
    SqliteStore(std::filesystem::path file, std::shared_ptr<const ManagedObjectModel> model, StoreOptions options,
                std::unique_ptr<SQLite::Database> database);
    // The statement for `sql`, prepared on first use and ready for new bindings.
    PreparedStatement& statement(const std::string& sql);
    PreparedStatement& prepared(std::unique_ptr<PreparedStatement>& slot, const std::string& sql);
    void readRows(const EntityDescription& entity, PreparedStatement& statement, const RowSink& sink);
    // The error for `exception`; a damaged file is reported as such and written no more.
    [[nodiscard]] Error failure(StoreErrorCode code, const std::exception& exception);

    std::filesystem::path file_;
    std::shared_ptr<const ManagedObjectModel> model_;
    StoreOptions options_;
    std::unique_ptr<SQLite::Database> database_;
    bool damaged_ = false;
    std::unordered_map<std::string, std::unique_ptr<PreparedStatement>> statements_;
    std::unordered_map<const EntityDescription*, std::unique_ptr<EntitySql>> sql_;
    EntitySql& sqlOf(const EntityDescription& entity);
};

}  // namespace vantrel::detail
