#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <string>
#include <string_view>

namespace vantrel {

/// What went wrong with the local object store. Every failure of the store comes back as an
/// `Error` of domain "Store" whose code is one of these.
enum class StoreErrorCode : long {
    /// The file could not be opened or created (missing directory, no permission, locked).
    cannotOpen = 1,
    /// The file exists but is no store of this library (another database, or not SQLite at all).
    notAStore = 2,
    /// The file was written by a later version of the library; it is left as it is.
    newerVersion = 3,
    /// The file is older and no migration leads from its version to ours.
    noMigration = 4,
    /// The store was not loaded, so there is nothing to read from or write to.
    notLoaded = 5,
    /// Reading failed.
    fetchFailed = 6,
    /// Writing failed; the file keeps the state of the last successful save.
    saveFailed = 7,
    /// A fetch named an entity or attribute that the model does not have.
    unknownKey = 8,
    /// A save changed or deleted an object whose row another connection changed or deleted since
    /// it was read (or that no longer exists). Nothing of the save reaches the file and the context
    /// keeps its changes; `userInfo["conflicts"]` lists the rows as {"entity", "key"}. Refresh the
    /// objects (`ManagedObjectContext::refresh`) and save again.
    conflict = 9,
    /// The file is a store of this library but its pages are damaged. It is neither read nor
    /// written; restore it from a copy or remove it.
    damaged = 10,
};

/// Domain of every store error.
inline constexpr std::string_view kStoreErrorDomain = "Store";

/// A store error with `code` and `message`; `userInfo` may name the file and the SQLite code.
Error makeStoreError(StoreErrorCode code, std::string message, nlohmann::json userInfo = nlohmann::json::object());

/// True when `error` is a store error with `code`.
bool isStoreError(const Error& error, StoreErrorCode code) noexcept;

}  // namespace vantrel

#pragma GCC visibility pop
