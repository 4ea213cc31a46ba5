#include "vantrel/backend/ParseValue.hpp"

#include "backend/ValueDecoding.hpp"
#include "vantrel/backend/ParseObject.hpp"

namespace vantrel {

using nlohmann::json;

ParseValue::ParseValue(std::nullptr_t) noexcept : storage_(nullptr) {}
ParseValue::ParseValue(bool value) noexcept : storage_(value) {}
ParseValue::ParseValue(double value) noexcept : storage_(value) {}
ParseValue::ParseValue(std::string value) : storage_(std::move(value)) {}
ParseValue::ParseValue(const char* value) : storage_(std::string(value ? value : "")) {}
ParseValue::ParseValue(std::string_view value) : storage_(std::string(value)) {}
ParseValue::ParseValue(ParseDate value) noexcept : storage_(value) {}
ParseValue::ParseValue(ParseRelation value) : storage_(std::move(value)) {}
ParseValue::ParseValue(ParseFile value) : storage_(std::move(value)) {}
ParseValue::ParseValue(Array value) : storage_(std::move(value)) {}
ParseValue::ParseValue(Object value) : storage_(std::move(value)) {}

ParseValue::ParseValue(std::shared_ptr<ParseObject> object, PointerTag) {
    if (object)
        storage_ = std::move(object);
    else
        storage_ = nullptr;
}

ParseValue::Kind ParseValue::kind() const noexcept {
    // The order of the alternatives in Storage follows Kind.
    return static_cast<Kind>(storage_.index());
}

std::optional<bool> ParseValue::asBool() const noexcept {
    if (const auto* v = std::get_if<bool>(&storage_)) return *v;
    return std::nullopt;
}

std::optional<std::int64_t> ParseValue::asInteger() const noexcept {
    if (const auto* v = std::get_if<std::int64_t>(&storage_)) return *v;
    return std::nullopt;
}

std::optional<double> ParseValue::asDouble() const noexcept {
    if (const auto* v = std::get_if<double>(&storage_)) return *v;
    if (const auto* v = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*v);
    return std::nullopt;
}

std::optional<std::string> ParseValue::asString() const {
    if (const auto* v = std::get_if<std::string>(&storage_)) return *v;
    return std::nullopt;
}

const std::string* ParseValue::stringValue() const& noexcept { return std::get_if<std::string>(&storage_); }

std::optional<ParseDate> ParseValue::asDate() const {
    if (const auto* v = std::get_if<ParseDate>(&storage_)) return *v;
    if (const auto* v = std::get_if<std::string>(&storage_)) return parseParseDate(*v);
    return std::nullopt;
}

std::shared_ptr<ParseObject> ParseValue::asObject() const {
    if (const auto* v = std::get_if<std::shared_ptr<ParseObject>>(&storage_)) return *v;
    return nullptr;
}

std::optional<ParseRelation> ParseValue::asRelation() const {
    if (const auto* v = std::get_if<ParseRelation>(&storage_)) return *v;
    return std::nullopt;
}

std::optional<ParseFile> ParseValue::asFile() const {
    if (const auto* v = std::get_if<ParseFile>(&storage_)) return *v;
    return std::nullopt;
}

const ParseValue::Array* ParseValue::array() const& noexcept { return std::get_if<Array>(&storage_); }
const ParseValue::Object* ParseValue::object() const& noexcept { return std::get_if<Object>(&storage_); }

std::optional<ParseValue::Array> ParseValue::asArray() const {
    if (const auto* v = std::get_if<Array>(&storage_)) return *v;
    return std::nullopt;
}

std::optional<ParseValue::Object> ParseValue::asDictionary() const {
    if (const auto* v = std::get_if<Object>(&storage_)) return *v;
    return std::nullopt;
}

json ParseValue::toJSON() const {
    struct Encoder {
        json operator()(std::monostate) const { return nullptr; }
        json operator()(std::nullptr_t) const { return nullptr; }
        json operator()(bool v) const { return v; }
        json operator()(std::int64_t v) const { return v; }
        json operator()(double v) const { return v; }
        json operator()(const std::string& v) const { return v; }
        json operator()(const ParseDate& v) const { return {{"__type", "Date"}, {"iso", formatParseDate(v)}}; }
        json operator()(const std::shared_ptr<ParseObject>& v) const { return v->pointerJSON(); }
        json operator()(const ParseRelation& v) const {
            return {{"__type", "Relation"}, {"className", v.targetClassName()}};
        }
        json operator()(const ParseFile& v) const {
            json out = {{"__type", "File"}, {"name", v.name}};
            if (!v.url.empty()) out["url"] = v.url;
            return out;
        }
        json operator()(const Array& v) const {
            json out = json::array();
            for (const auto& item : v) out.push_back(item.toJSON());
            return out;
        }
        json operator()(const Object& v) const {
            json out = json::object();
            for (const auto& [key, item] : v) out[key] = item.toJSON();
            return out;
        }
    };
    return std::visit(Encoder{}, storage_);
}

ParseValue ParseValue::fromJSON(const json& value) {
    return backend_detail::decodeValue<backend_detail::JsonTreeReader>(value);
}

bool operator==(const ParseValue& a, const ParseValue& b) {
    if (a.storage_.index() != b.storage_.index()) return false;
    if (const auto* left = std::get_if<std::shared_ptr<ParseObject>>(&a.storage_)) {
        const auto& right = std::get<std::shared_ptr<ParseObject>>(b.storage_);
        if (left->get() == right.get()) return true;
        const auto leftId = (*left)->objectId();
        return leftId && (*left)->className() == right->className() && leftId == right->objectId();
    }
    return a.storage_ == b.storage_;
}

}  // namespace vantrel
