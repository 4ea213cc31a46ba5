#include "vantrel/backend/ParseObject.hpp"

#include "backend/RestClient.hpp"
#include "backend/ValueDecoding.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"

#include <functional>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace vantrel {

using backend_detail::encodePathSegment;
using backend_detail::performRequest;
using nlohmann::json;

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, ParseObjectFactory> factories;
};

Registry& registry() {
    static auto* instance = new Registry();  // never destroyed: answers are decoded until exit's stops
    return *instance;
}

// The built-in classes come back as their own types even when nothing is registered.
std::shared_ptr<ParseObject> makeBuiltIn(const std::string& className) {
    if (className == ParseUser::parseClassName()) return std::make_shared<ParseUser>();
    if (className == ParseRole::parseClassName()) return std::make_shared<ParseRole>();
    return std::make_shared<ParseObject>(className);
}

bool containsUnsavedPointer(const json& value) {
    if (value.is_array()) {
        for (const auto& item : value)
            if (containsUnsavedPointer(item)) return true;
    } else if (value.is_object()) {
        if (value.value("__type", std::string()) == "Pointer" && !value.contains("objectId")) return true;
        for (const auto& item : value)
            if (containsUnsavedPointer(item)) return true;
    }
    return false;
}

void deliverLater(std::function<void()> work) { DispatchQueue::global().async(std::move(work)); }

// Objects are meant to live in shared pointers; one that does not (a record on the stack, say)
// gets an error instead of an exception from shared_from_this.
Error notShared() {
    return makeParseError(ParseErrorCode::otherCause, "The object must be held by a std::shared_ptr for this call.");
}

}  // namespace

// ---- registry -----------------------------------------------------------------------------------

void ParseObject::registerSubclass(const std::string& className, ParseObjectFactory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories[className] = std::move(factory);
}

void ParseObject::unregisterSubclass(const std::string& className) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.factories.erase(className);
}

bool ParseObject::isSubclassRegistered(const std::string& className) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.factories.count(className) > 0;
}

std::shared_ptr<ParseObject> ParseObject::create(const std::string& className) {
    ParseObjectFactory factory;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        if (auto it = r.factories.find(className); it != r.factories.end()) factory = it->second;
    }
    if (factory) {
        auto object = factory();
        if (object && object->className() == className) return object;
        VLOG_WARNING("The class registered for \"" + className +
                     "\" makes objects of another class; using a plain object.");
    }
    return makeBuiltIn(className);
}

std::shared_ptr<ParseObject> ParseObject::createWithoutData(const std::string& className, const std::string& objectId) {
    auto object = create(className);
    std::lock_guard lock(object->mutex_);
    object->objectId_ = objectId;
    object->dataAvailable_ = false;
    return object;
}

std::shared_ptr<ParseObject> ParseObject::fromJSON(const json& value, const std::string& defaultClassName,
                                                   const ParseObjectFactory& factory) {
    return backend_detail::decodeRecord<backend_detail::JsonTreeReader>(value, defaultClassName, factory);
}

// ---- identity -----------------------------------------------------------------------------------

ParseObject::ParseObject(std::string className) : className_(std::move(className)) {}
ParseObject::~ParseObject() = default;

std::optional<std::string> ParseObject::objectId() const {
    std::lock_guard lock(mutex_);
    return objectId_;
}

void ParseObject::setObjectId(std::optional<std::string> objectId) {
    std::lock_guard lock(mutex_);
    objectId_ = std::move(objectId);
}

std::optional<ParseDate> ParseObject::createdAt() const {
    std::lock_guard lock(mutex_);
    return createdAt_;
}

std::optional<ParseDate> ParseObject::updatedAt() const {
    std::lock_guard lock(mutex_);
    return updatedAt_;
}

bool ParseObject::isDataAvailable() const {
    std::lock_guard lock(mutex_);
    return dataAvailable_;
}

bool ParseObject::isDirty() const {
    std::lock_guard lock(mutex_);
    return !operations_.empty();
}

bool ParseObject::isEqual(const ParseObject& other) const { return this == &other; }
std::size_t ParseObject::hash() const { return std::hash<const void*>()(this); }

// ---- values -------------------------------------------------------------------------------------

ParseValue ParseObject::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    return {};
}

void ParseObject::set(const std::string& key, ParseValue value) {
    if (value.isAbsent()) {
        remove(key);
        return;
    }
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
    operations_[key] = nullptr;
}

void ParseObject::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
    operations_[key] = json{{"__op", "Delete"}};
}

void ParseObject::forgetValue(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
    operations_.erase(key);
}

bool ParseObject::containsKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.count(key) > 0;
}

std::vector<std::string> ParseObject::allKeys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    keys.reserve(values_.size());
    for (const auto& [key, value] : values_) keys.push_back(key);
    return keys;
}

ParseRelation ParseObject::relation(const std::string& key) {
    std::string target;
    {
        std::lock_guard lock(mutex_);
        if (auto it = values_.find(key); it != values_.end())
            if (auto relation = it->second.asRelation()) target = relation->targetClassName();
    }
    auto self = weak_from_this().lock();
    if (!self) return ParseRelation(target);
    return ParseRelation(self, key, target);
}

void ParseObject::addRelationOperation(const std::string& key, const std::string& targetClassName, const json& pointer,
                                       bool add) {
    const char* kind = add ? "AddRelation" : "RemoveRelation";
    std::lock_guard lock(mutex_);
    auto& operation = operations_[key];
    if (!operation.is_object() || operation.value("__op", std::string()) != kind)
        operation = json{{"__op", kind}, {"objects", json::array()}};
    operation["objects"].push_back(pointer);
    auto& stored = values_[key];
    if (!stored.asRelation()) stored = ParseRelation(targetClassName);
}

std::pair<json, json> ParseObject::takeOperations() {
    std::lock_guard lock(mutex_);
    json snapshot = json::object();
    json body = json::object();
    for (const auto& [key, operation] : operations_) {
        snapshot[key] = operation;
        if (operation.is_null()) {
            auto it = values_.find(key);
            body[key] = it == values_.end() ? json{{"__op", "Delete"}} : it->second.toJSON();
        } else {
            body[key] = operation;
        }
    }
    operations_.clear();
    return {std::move(snapshot), std::move(body)};
}

void ParseObject::restoreOperations(const json& snapshot) {
    std::lock_guard lock(mutex_);
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) operations_.emplace(it.key(), it.value());
}

// ---- encoding -----------------------------------------------------------------------------------

json ParseObject::toJSON() const {
    std::lock_guard lock(mutex_);
    json out = json::object();
    out["className"] = className_;
    if (objectId_) out["objectId"] = *objectId_;
    if (createdAt_) out["createdAt"] = formatParseDate(*createdAt_);
    if (updatedAt_) out["updatedAt"] = formatParseDate(*updatedAt_);
    for (const auto& [key, value] : values_) out[key] = value.toJSON();
    return out;
}

json ParseObject::pointerJSON() const {
    std::lock_guard lock(mutex_);
    json out = {{"__type", "Pointer"}, {"className", className_}};
    if (objectId_) out["objectId"] = *objectId_;
    return out;
}

bool ParseObject::consumeServerField(const std::string&, const ParseValue&) { return false; }

void ParseObject::mergeFromServer(const json& data, bool complete) {
    if (!data.is_object()) return;
    // Decoded first, without the lock: decoding makes other objects through the registry.
    mergeServerRecord(backend_detail::readServerRecord<backend_detail::JsonTreeReader>(data), complete);
}

void ParseObject::mergeServerRecord(backend_detail::ServerRecord&& record, bool complete) {
    std::lock_guard lock(mutex_);
    if (record.objectId) objectId_ = std::move(*record.objectId);
    if (record.createdAt) createdAt_ = record.createdAt;
    if (record.hasUpdatedAt) {
        if (record.updatedAt) updatedAt_ = record.updatedAt;
    } else if (createdAt_ && !updatedAt_) {
        updatedAt_ = createdAt_;  // a creation answer: the record was last updated when created
    }
    if (complete) {
        // A full record replaces what we knew, except keys changed here and not yet saved.
        for (auto it = values_.begin(); it != values_.end();) {
            if (operations_.count(it->first) == 0 && !record.contains(it->first))
                it = values_.erase(it);
            else
                ++it;
        }
        dataAvailable_ = true;
    }
    for (auto& [key, value] : record.fields) {
        if (consumeServerField(key, value)) continue;
        if (operations_.count(key)) continue;  // the local change wins until it is saved
        values_.insert_or_assign(std::move(key), std::move(value));
    }
}

std::string ParseObject::endpoint() const {
    if (className_ == "_User") return "users";
    if (className_ == "_Role") return "roles";
    if (className_ == "_Session") return "sessions";
    if (className_ == "_Installation") return "installations";
    return "classes/" + encodePathSegment(className_);
}

// ---- persistence --------------------------------------------------------------------------------

void ParseObject::saveInBackground(ParseBooleanResultBlock block) {
    auto self = weak_from_this().lock();
    if (!self) {
        deliverLater([block] {
            if (block) block(false, notShared());
        });
        return;
    }
    auto [snapshot, body] = takeOperations();
    const auto id = objectId();
    if (containsUnsavedPointer(body)) {
        restoreOperations(snapshot);
        deliverLater([block] {
            if (block)
                block(false, makeParseError(ParseErrorCode::missingObjectId,
                                            "An object this object points to has not been saved yet."));
        });
        return;
    }
    if (id && body.empty()) {
        deliverLater([block] {
            if (block) block(true, std::nullopt);
        });
        return;
    }
    const std::string method = id ? "PUT" : "POST";
    const std::string path = id ? endpoint() + "/" + encodePathSegment(*id) : endpoint();
    performRequest(method, path, body, [self, snapshot = std::move(snapshot), block](json result, OptionalError error) {
        if (error) {
            self->restoreOperations(snapshot);
            if (block) block(false, std::move(error));
            return;
        }
        self->mergeFromServer(result, false);
        self->didSave();
        if (block) block(true, std::nullopt);
    });
}

void ParseObject::deleteInBackground(ParseBooleanResultBlock block) {
    auto self = weak_from_this().lock();
    if (!self) {
        deliverLater([block] {
            if (block) block(false, notShared());
        });
        return;
    }
    const auto id = objectId();
    if (!id) {
        deliverLater([block] {
            if (block) block(false, makeParseError(ParseErrorCode::missingObjectId, "The object has not been saved."));
        });
        return;
    }
    performRequest("DELETE", endpoint() + "/" + encodePathSegment(*id), std::nullopt,
                   [self, block](const json&, OptionalError error) {
                       if (block) block(!error, std::move(error));
                   });
}

void ParseObject::fetchInBackground(ParseObjectResultBlock block) {
    auto self = weak_from_this().lock();
    if (!self) {
        deliverLater([block] {
            if (block) block(nullptr, notShared());
        });
        return;
    }
    const auto id = objectId();
    if (!id) {
        deliverLater([block] {
            if (block)
                block(nullptr, makeParseError(ParseErrorCode::missingObjectId, "The object has not been saved."));
        });
        return;
    }
    performRequest("GET", endpoint() + "/" + encodePathSegment(*id), std::nullopt,
                   [self, block](const json& result, OptionalError error) {
                       if (error) {
                           if (block) block(nullptr, std::move(error));
                           return;
                       }
                       self->mergeFromServer(result, true);
                       if (block) block(self, std::nullopt);
                   });
}

void ParseObject::fetchIfNeededInBackground(ParseObjectResultBlock block) {
    auto self = weak_from_this().lock();
    if (self && isDataAvailable()) {
        deliverLater([self, block] {
            if (block) block(self, std::nullopt);
        });
        return;
    }
    fetchInBackground(std::move(block));
}

}  // namespace vantrel
