#include "backend/QueryResults.hpp"

#include "backend/FastJsonParser.hpp"
#include "backend/JsonDocument.hpp"
#include "backend/ValueDecoding.hpp"

namespace vantrel::backend_detail {

namespace {

// The fast parser's document as a reader for the record decoder. Arrays and objects are copied out
// of their results, which are temporaries.
struct DomReader {
    using Element = simdjson::dom::element;
    static JsonKind kind(const Element& e) {
        using Type = simdjson::dom::element_type;
        switch (e.type()) {
            case Type::ARRAY: return JsonKind::array;
            case Type::OBJECT: return JsonKind::object;
            case Type::INT64: return JsonKind::int64;
            case Type::UINT64: return JsonKind::uint64;
            case Type::DOUBLE: return JsonKind::number;
            case Type::STRING: return JsonKind::string;
            case Type::BOOL: return JsonKind::boolean;
            case Type::NULL_VALUE: break;
        }
        return JsonKind::null;
    }
    static bool boolean(const Element& e) { return e.get_bool().value_unsafe(); }
    static std::int64_t int64(const Element& e) { return e.get_int64().value_unsafe(); }
    static std::uint64_t uint64(const Element& e) { return e.get_uint64().value_unsafe(); }
    static double number(const Element& e) { return e.get_double().value_unsafe(); }
    static std::string_view string(const Element& e) { return e.get_string().value_unsafe(); }
    static std::size_t size(const Element& e) {
        const simdjson::dom::array items = e.get_array().value_unsafe();
        return items.size();
    }
    static std::optional<Element> field(const Element& object, std::string_view key) {
        const simdjson::dom::object fields = object.get_object().value_unsafe();
        std::optional<Element> found;  // the last of twins, as the JSON tree keeps it
        for (const auto entry : fields)
            if (entry.key == key) found = entry.value;
        return found;
    }
    template <class F>
    static void forEachItem(const Element& array, F&& f) {
        const simdjson::dom::array items = array.get_array().value_unsafe();
        for (const auto item : items) f(item);
    }
    template <class F>
    static void forEachField(const Element& object, F&& f) {
        const simdjson::dom::object fields = object.get_object().value_unsafe();
        for (const auto entry : fields) f(std::string_view(entry.key), entry.value);
    }
};

}  // namespace

std::optional<std::vector<std::shared_ptr<ParseObject>>> decodeQueryResults(std::string_view text,
                                                                            const std::string& className) {
    const ParsedJson parsed(text, kMaximumJsonDepth);
    if (parsed.result().error() != simdjson::SUCCESS) return std::nullopt;
    const auto root = parsed.result().value_unsafe();
    if (DomReader::kind(root) != JsonKind::object) return std::nullopt;
    const auto results = DomReader::field(root, "results");
    if (!results || DomReader::kind(*results) != JsonKind::array) return std::nullopt;
    std::vector<std::shared_ptr<ParseObject>> objects;
    objects.reserve(DomReader::size(*results));
    DomReader::forEachItem(*results, [&](const auto& item) {
        if (auto object = decodeRecord<DomReader>(item, className, ParseObjectFactory()))
            objects.push_back(std::move(object));
    });
    return objects;
}

}  // namespace vantrel::backend_detail
