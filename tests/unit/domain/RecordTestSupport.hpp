#pragma once

// Records for the domain tests, built the way the backend client builds them: from the server's
// JSON form, through the class registry, so that numbers keep the kinds the server sends.

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/domain/RecordClasses.hpp"

#include <nlohmann/json.hpp>

#include <memory>
#include <stdexcept>
#include <string>

namespace vantrel::test {

/// A record of class `T` holding `fields` as the server would send them.
template <class T>
std::shared_ptr<T> recordFromServer(nlohmann::json fields, const std::string& objectId = "obj1") {
    registerRecordClasses();
    fields["className"] = T::parseClassName();
    if (!objectId.empty()) fields["objectId"] = objectId;
    auto record = std::dynamic_pointer_cast<T>(ParseObject::fromJSON(fields));
    if (!record) throw std::logic_error("the registry did not make a " + T::parseClassName());
    return record;
}

/// The server's pointer form of a record.
inline nlohmann::json pointerTo(const std::string& className, const std::string& objectId) {
    return {{"__type", "Pointer"}, {"className", className}, {"objectId", objectId}};
}

/// The dictionary an embedded record reads, decoded from the server's JSON form. `{}` makes a JSON
/// null rather than an object; both stand for an empty dictionary here.
inline EmbeddedEntity::Dictionary dictionaryFrom(const nlohmann::json& fields) {
    if (fields.is_null()) return {};
    const auto value = ParseValue::fromJSON(fields);
    const auto* dictionary = value.object();
    if (!dictionary) throw std::logic_error("not a dictionary: " + fields.dump());
    return *dictionary;
}

}  // namespace vantrel::test
