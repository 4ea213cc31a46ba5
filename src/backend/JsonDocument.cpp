#include "backend/JsonDocument.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cstdint>

namespace vantrel::backend_detail {

namespace {

using nlohmann::json;

// Each thread keeps one parser for answers up to this size (pages, frames): its buffers are
// reused instead of allocated per answer. A larger document gets a parser of its own.
constexpr std::size_t kReusedParserBytes = 256 * 1024;
constexpr std::size_t kFirstParserBytes = 64 * 1024;

// The parsed document as the rest of the client reads it. Integers stay integers (non-negative
// ones unsigned, as the general parser makes them) and doubles stay doubles. The recursion is
// bounded: the parser refused anything deeper than its maximum depth.
json toJson(simdjson::dom::element element) {
    using Type = simdjson::dom::element_type;
    switch (element.type()) {
        case Type::ARRAY: {
            // Copies, not references: the results they come from are temporaries.
            const simdjson::dom::array items = element.get_array().value_unsafe();
            json out = json::array();
            auto& array = out.get_ref<json::array_t&>();
            array.reserve(items.size());
            for (auto item : items) array.push_back(toJson(item));
            return out;
        }
        case Type::OBJECT: {
            const simdjson::dom::object fields = element.get_object().value_unsafe();
            json out = json::object();
            auto& object = out.get_ref<json::object_t&>();
            for (auto field : fields)
                object.insert_or_assign(std::string(field.key), toJson(field.value));  // the last of twins wins
            return out;
        }
        case Type::INT64: {
            const std::int64_t value = element.get_int64().value_unsafe();
            return value >= 0 ? json(static_cast<std::uint64_t>(value)) : json(value);
        }
        case Type::UINT64: return json(element.get_uint64().value_unsafe());
        case Type::DOUBLE: return json(element.get_double().value_unsafe());
        case Type::STRING: return json(std::string(element.get_string().value_unsafe()));
        case Type::BOOL: return json(element.get_bool().value_unsafe());
        case Type::NULL_VALUE: break;
    }
    return json(nullptr);
}

}  // namespace

bool isNestedDeeperThan(std::string_view text, std::size_t maximumDepth) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;  // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
            case '"': inString = true; break;
            case '[':
            case '{':
                if (++depth > maximumDepth) return true;
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;
                break;
            default: break;
        }
    }
    return false;
}

json parseJsonDocument(std::string_view text, std::size_t maximumDepth) {
    const json refused(json::value_t::discarded);
    thread_local simdjson::dom::parser reused;
    thread_local std::size_t reusedDepth = 0;
    simdjson::dom::parser own;
    simdjson::dom::parser* parser = &reused;
    if (text.size() > kReusedParserBytes) {
        parser = &own;
        if (own.allocate(text.size(), maximumDepth) != simdjson::SUCCESS) return refused;
    } else if (reusedDepth != maximumDepth || reused.capacity() < text.size()) {
        if (reused.allocate(std::max({text.size(), kFirstParserBytes, reused.capacity()}), maximumDepth) !=
            simdjson::SUCCESS)
            return refused;
        reusedDepth = maximumDepth;
    }
    const auto parsed = parser->parse(text.data(), text.size(), /*realloc_if_needed=*/true);
    if (parsed.error() == simdjson::SUCCESS) return toJson(parsed.value_unsafe());
    if (parsed.error() == simdjson::DEPTH_ERROR) return refused;
    // A few documents the fast parser refuses are still JSON (integers beyond 64 bits, say): the
    // general parser decides, after the same depth rule.
    if (isNestedDeeperThan(text, maximumDepth)) return refused;
    return json::parse(text, nullptr, false);
}

void prepareJsonParsing() { (void)simdjson::get_active_implementation()->name(); }

}  // namespace vantrel::backend_detail
