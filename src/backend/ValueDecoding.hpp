#pragma once

// Server JSON into values and records, written once for any reader of a parsed document: the
// JSON tree (answers built or kept in memory, LiveQuery frames) and the fast parser's own document
// (query answers, decoded straight from their text). Both readers must give the same records.
//
// A reader `R` offers, for its element type `R::Element`:
//   JsonKind kind(e); bool boolean(e); std::int64_t int64(e); std::uint64_t uint64(e);
//   double number(e); std::string_view string(e); std::size_t size(e) (of an array);
//   field(object, key): the element that counts for `key` (the last of twins), null when none;
//   forEachItem(array, f(e)); forEachField(object, f(key, e)) in the document's order, twins
//   included (the later one counts).

#include "vantrel/backend/ParseDate.hpp"
#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseValue.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::backend_detail {

enum class JsonKind { null, boolean, int64, uint64, number, string, array, object };

/// A record as a server answer holds it, decoded outside any lock; the object takes it in.
struct ServerRecord {
    std::optional<std::string> objectId;        // when "objectId" is a string
    std::optional<ParseDate> createdAt;         // when "createdAt" reads as a date
    std::optional<ParseDate> updatedAt;         // when "updatedAt" reads as a date
    bool hasUpdatedAt = false;                  // "updatedAt" present, readable or not
    std::vector<std::string_view> specialKeys;  // the above and "className", "__type", as present
    /// Every other key with its value, in the answer's order.
    std::vector<std::pair<std::string, ParseValue>> fields;

    /// Whether the answer holds `key`.
    [[nodiscard]] bool contains(std::string_view key) const {
        for (const auto& special : specialKeys)
            if (special == key) return true;
        for (const auto& [name, value] : fields)
            if (name == key) return true;
        return false;
    }
};

/// ParseObject lets the decoders hand it a record.
class RecordDecoder {
public:
    static void merge(ParseObject& object, ServerRecord&& record, bool complete) {
        object.mergeServerRecord(std::move(record), complete);
    }
};

/// The JSON tree as a reader.
struct JsonTreeReader {
    using Element = nlohmann::json;
    static JsonKind kind(const Element& e) {
        switch (e.type()) {
            case Element::value_t::boolean: return JsonKind::boolean;
            case Element::value_t::number_integer: return JsonKind::int64;
            case Element::value_t::number_unsigned: return JsonKind::uint64;
            case Element::value_t::number_float: return JsonKind::number;
            case Element::value_t::string: return JsonKind::string;
            case Element::value_t::array: return JsonKind::array;
            case Element::value_t::object: return JsonKind::object;
            default: return JsonKind::null;  // null, discarded, binary
        }
    }
    static bool boolean(const Element& e) { return e.get<bool>(); }
    static std::int64_t int64(const Element& e) { return e.get<std::int64_t>(); }
    static std::uint64_t uint64(const Element& e) { return e.get<std::uint64_t>(); }
    static double number(const Element& e) { return e.get<double>(); }
    static std::string_view string(const Element& e) { return e.get_ref<const std::string&>(); }
    static std::size_t size(const Element& e) { return e.size(); }
    static const Element* field(const Element& object, std::string_view key) {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    }
    template <class F>
    static void forEachItem(const Element& array, F&& f) {
        for (const auto& item : array) f(item);
    }
    template <class F>
    static void forEachField(const Element& object, F&& f) {
        for (auto it = object.begin(); it != object.end(); ++it) f(std::string_view(it.key()), it.value());
    }
};

/// The string under `key` of `object`; none when absent or not a string.
template <class R>
std::optional<std::string_view> stringField(const typename R::Element& object, std::string_view key) {
    const auto found = R::field(object, key);
    if (!found || R::kind(*found) != JsonKind::string) return std::nullopt;
    return R::string(*found);
}

/// A date as the server writes it: an ISO text or {"__type": "Date", "iso": ...}.
template <class R>
std::optional<ParseDate> readDate(const typename R::Element& value) {
    if (R::kind(value) == JsonKind::string) return parseParseDate(std::string(R::string(value)));
    if (R::kind(value) == JsonKind::object && stringField<R>(value, "__type") == "Date")
        return parseParseDate(std::string(stringField<R>(value, "iso").value_or("")));
    return std::nullopt;
}

template <class R>
std::shared_ptr<ParseObject> decodeRecord(const typename R::Element& value, const std::string& defaultClassName,
                                          const ParseObjectFactory& factory);

/// One value of server data: the special types ("Date", "Pointer", "Object", "Relation", "File")
/// as themselves, anything else as plain JSON values.
template <class R>
ParseValue decodeValue(const typename R::Element& value) {
    switch (R::kind(value)) {
        case JsonKind::null: return ParseValue::null();
        case JsonKind::boolean: return R::boolean(value);
        case JsonKind::int64: return R::int64(value);
        case JsonKind::uint64: {
            // Above INT64_MAX nothing exact is left to keep; a double is the honest reading.
            const auto u = R::uint64(value);
            if (u > static_cast<std::uint64_t>(INT64_MAX)) return static_cast<double>(u);
            return static_cast<std::int64_t>(u);
        }
        case JsonKind::number: return R::number(value);
        case JsonKind::string: return R::string(value);
        case JsonKind::array: {
            ParseValue::Array out;
            out.reserve(R::size(value));
            R::forEachItem(value, [&](const auto& item) { out.push_back(decodeValue<R>(item)); });
            return out;
        }
        case JsonKind::object: break;
    }
    if (const auto type = stringField<R>(value, "__type")) {
        const auto text = [&](std::string_view key) { return std::string(stringField<R>(value, key).value_or("")); };
        if (*type == "Date") {
            if (auto date = parseParseDate(text("iso"))) return *date;
        } else if (*type == "Pointer") {
            const auto className = text("className");
            const auto objectId = text("objectId");
            if (!className.empty() && !objectId.empty()) return ParseObject::createWithoutData(className, objectId);
        } else if (*type == "Object") {
            if (auto object = decodeRecord<R>(value, std::string(), ParseObjectFactory())) return object;
        } else if (*type == "Relation") {
            return ParseRelation(text("className"));
        } else if (*type == "File") {
            return ParseFile{text("name"), text("url")};
        }
    }
    ParseValue::Object out;
    R::forEachField(value, [&](std::string_view key, const auto& field) {
        out.insert_or_assign(std::string(key), decodeValue<R>(field));
    });
    return out;
}

/// The record in `data`, its values decoded.
template <class R>
ServerRecord readServerRecord(const typename R::Element& data) {
    ServerRecord record;
    static constexpr std::string_view kSpecialKeys[] = {"className", "__type", "objectId", "createdAt", "updatedAt"};
    R::forEachField(data, [&](std::string_view key, const auto& value) {
        const auto special = std::find(std::begin(kSpecialKeys), std::end(kSpecialKeys), key);
        if (special == std::end(kSpecialKeys)) {
            record.fields.emplace_back(std::string(key), decodeValue<R>(value));
            return;
        }
        record.specialKeys.push_back(*special);  // twins may repeat it: `contains` does not mind
        if (key == "objectId") {
            record.objectId.reset();
            if (R::kind(value) == JsonKind::string) record.objectId = std::string(R::string(value));
        } else if (key == "createdAt") {
            record.createdAt = readDate<R>(value);
        } else if (key == "updatedAt") {
            record.hasUpdatedAt = true;
            record.updatedAt = readDate<R>(value);
        }
    });
    return record;
}

/// The record `value` as an object of its "className" (else `defaultClassName`), made by
/// `factory` when it makes that class, else by the class registry; none when `value` is no
/// object or names no class.
template <class R>
std::shared_ptr<ParseObject> decodeRecord(const typename R::Element& value, const std::string& defaultClassName,
                                          const ParseObjectFactory& factory) {
    if (R::kind(value) != JsonKind::object) return nullptr;
    std::string className = defaultClassName;
    if (const auto named = stringField<R>(value, "className")) className = std::string(*named);
    if (className.empty()) return nullptr;
    std::shared_ptr<ParseObject> object;
    if (factory) {
        object = factory();
        if (object && object->className() != className) object.reset();
    }
    if (!object) object = ParseObject::create(className);
    RecordDecoder::merge(*object, readServerRecord<R>(value), true);
    return object;
}

}  // namespace vantrel::backend_detail
