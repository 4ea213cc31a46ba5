#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseDate.hpp"
#include "vantrel/backend/ParseRelation.hpp"
#include "vantrel/backend/ParseValue.hpp"
#include "vantrel/core/Error.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantrel {

class ParseObject;
// The library's own record decoding; not part of the API (hidden, whatever the header exports).
namespace backend_detail {
struct __attribute__((visibility("hidden"))) ServerRecord;
class __attribute__((visibility("hidden"))) RecordDecoder;
}  // namespace backend_detail

/// Makes an empty instance of a registered class.
using ParseObjectFactory = std::function<std::shared_ptr<ParseObject>()>;
/// Completion of saves and deletes: success flag and the error when it failed.
using ParseBooleanResultBlock = std::function<void(bool succeeded, OptionalError error)>;
/// Completion of fetches: the object (the same instance, now filled) or the error.
using ParseObjectResultBlock = std::function<void(std::shared_ptr<ParseObject> object, OptionalError error)>;

/// One backend record: a class name, an object id, creation and update times and named values.
///
/// Objects are reference types, always held by std::shared_ptr (make them with `create`,
/// `createWithoutData` or std::make_shared of a subclass). Record classes derive from it and
/// register with `registerSubclass<T>()`; every object the client hands back (query results,
/// included pointers, live events, fetches, the restored current user) is made through that
/// registry, so it is an instance of the registered class.
///
/// Reads and writes are thread-safe. Completion blocks run on the client's worker threads.
class ParseObject : public std::enable_shared_from_this<ParseObject> {
public:
    /// An empty, unsaved object of `className`.
    explicit ParseObject(std::string className);
    /// Objects are shared: there is no copying.
    virtual ~ParseObject();
    ParseObject(const ParseObject&) = delete;
    ParseObject& operator=(const ParseObject&) = delete;

    // ---- class registry ---------------------------------------------------------------------
    /// Makes the client create `T` for objects of `T::parseClassName()`. T needs a default
    /// constructor that passes that name to ParseObject.
    // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    static void registerSubclass() {
        // clang-format on
        registerSubclass(T::parseClassName(),
                         [] { return std::static_pointer_cast<ParseObject>(std::make_shared<T>()); });
    }
    /// Registers `factory` for `className`, replacing an earlier registration.
    static void registerSubclass(const std::string& className, ParseObjectFactory factory);
    /// Forgets the registration of `className` (the built-in user and role classes come back).
    static void unregisterSubclass(const std::string& className);
    /// True when a factory is registered for `className`.
    static bool isSubclassRegistered(const std::string& className);
    /// A new, empty instance of the class registered for `className` (a plain ParseObject when
    /// none is).
    static std::shared_ptr<ParseObject> create(const std::string& className);
    /// A stub: an instance of the registered class with only its id, data not available.
    static std::shared_ptr<ParseObject> createWithoutData(const std::string& className, const std::string& objectId);
    /// An instance made from the server's JSON form of an object. The class comes from the
    /// JSON's "className", else `defaultClassName`; `factory`, when given, makes the instance.
    static std::shared_ptr<ParseObject> fromJSON(const nlohmann::json& json, const std::string& defaultClassName = {},
                                                 const ParseObjectFactory& factory = {});

    // ---- identity -----------------------------------------------------------------------------
    /// The backend class name.
    [[nodiscard]] const std::string& className() const noexcept { return className_; }
    /// The object id, none until saved.
    [[nodiscard]] std::optional<std::string> objectId() const;
    /// Sets the object id (making this a reference to a stored record).
    void setObjectId(std::optional<std::string> objectId);
    /// When the server created the record.
    [[nodiscard]] std::optional<ParseDate> createdAt() const;
    /// When the server last updated the record.
    [[nodiscard]] std::optional<ParseDate> updatedAt() const;
    /// False for a stub (a pointer that was not included or fetched).
    [[nodiscard]] bool isDataAvailable() const;
    /// True when there are changes that a save would send.
    [[nodiscard]] bool isDirty() const;

    /// Equality hook for records: identity here; record classes compare by object id.
    [[nodiscard]] virtual bool isEqual(const ParseObject& other) const;
    /// Hash matching `isEqual`: identity here.
    [[nodiscard]] virtual std::size_t hash() const;

    // ---- values -------------------------------------------------------------------------------
    /// The value under `key`: absent when the key is not set.
    [[nodiscard]] ParseValue value(const std::string& key) const;
    /// Same as `value`.
    [[nodiscard]] ParseValue operator[](const std::string& key) const { return value(key); }
    /// Stores `value` under `key`; ParseValue::null() stores a null, an absent value removes.
    void set(const std::string& key, ParseValue value);
    /// Removes the key (the next save deletes it on the server).
    void remove(const std::string& key);
    /// True when `key` holds a value (a stored null included).
    [[nodiscard]] bool containsKey(const std::string& key) const;
    /// The keys that hold values.
    [[nodiscard]] std::vector<std::string> allKeys() const;
    /// The relation under `key`, bound to this object.
    [[nodiscard]] ParseRelation relation(const std::string& key);

    // ---- encoding -----------------------------------------------------------------------------
    /// The object in the server's JSON form: "className", "objectId", "createdAt", "updatedAt"
    /// and every value encoded (pointers as pointers).
    [[nodiscard]] nlohmann::json toJSON() const;
    /// A pointer to this object: {"__type":"Pointer","className","objectId"}.
    [[nodiscard]] nlohmann::json pointerJSON() const;
    /// Takes values from the server's JSON form of this record. `complete` marks the data as
    /// available (a full record rather than the answer to a save).
    void mergeFromServer(const nlohmann::json& json, bool complete);

    // ---- persistence --------------------------------------------------------------------------
    /// Creates or updates the record on the server.
    void saveInBackground(ParseBooleanResultBlock block = {});
    /// Deletes the record on the server.
    void deleteInBackground(ParseBooleanResultBlock block = {});
    /// Reads the record from the server into this instance.
    void fetchInBackground(ParseObjectResultBlock block);
    /// Reads the record unless its data is already available; the block gets this instance.
    void fetchIfNeededInBackground(ParseObjectResultBlock block);

protected:
    /// Called under the object's lock with each top-level key of server data before it is
    /// stored; return true to keep the key out of the values (the user keeps its session token
    /// this way).
    virtual bool consumeServerField(const std::string& key, const ParseValue& value);
    /// Called after a save succeeded and the server's answer was taken in.
    virtual void didSave() {}
    /// Drops the local value of `key` without scheduling a change for the server.
    void forgetValue(const std::string& key);
    /// The REST path of the class: "classes/<name>", or "users", "roles", "sessions" and
    /// "installations" for the built-in classes.
    [[nodiscard]] std::string endpoint() const;

    mutable std::recursive_mutex mutex_;

private:
    friend class ParseRelation;
    friend class backend_detail::RecordDecoder;
    // Takes in a decoded server record under the lock (see `mergeFromServer`).
    void mergeServerRecord(backend_detail::ServerRecord&& record, bool complete);
    void addRelationOperation(const std::string& key, const std::string& targetClassName, const nlohmann::json& pointer,
                              bool add);
    // Moves the pending changes out: the snapshot (key -> operation or null) and the body a
    // save sends. A failed save puts the snapshot back.
    std::pair<nlohmann::json, nlohmann::json> takeOperations();
    void restoreOperations(const nlohmann::json& snapshot);

    const std::string className_;
    std::optional<std::string> objectId_;
    std::optional<ParseDate> createdAt_;
    std::optional<ParseDate> updatedAt_;
    std::map<std::string, ParseValue> values_;
    /// Pending changes by key: null means "send the current value", otherwise an operation.
    std::map<std::string, nlohmann::json> operations_;
    bool dataAvailable_ = true;
};

}  // namespace vantrel

#pragma GCC visibility pop
