#include "backend/JsonDocument.hpp"

#include "backend/FastJsonParser.hpp"

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

namespace {

struct ThreadParser {
    simdjson::dom::parser parser;
    std::size_t depth = 0;
    bool busy = false;
};

ThreadParser& threadParser() {
    thread_local ThreadParser instance;
    return instance;
}

}  // namespace

ParsedJson::ParsedJson(std::string_view text, std::size_t maximumDepth) : result_(simdjson::MEMALLOC) {
    auto& reused = threadParser();
    simdjson::dom::parser* parser = &own_;
    if (text.size() > kReusedParserBytes || reused.busy) {
        if (own_.allocate(std::max(text.size(), std::size_t{1}), maximumDepth) != simdjson::SUCCESS) return;
    } else {
        if (reused.depth != maximumDepth || reused.parser.capacity() < text.size()) {
            if (reused.parser.allocate(std::max({text.size(), kFirstParserBytes, reused.parser.capacity()}),
                                       maximumDepth) != simdjson::SUCCESS)
                return;
            reused.depth = maximumDepth;
        }
        parser = &reused.parser;
        reused.busy = holdsThreadParser_ = true;
    }
    result_ = parser->parse(text.data(), text.size(), /*realloc_if_needed=*/true);
}

ParsedJson::~ParsedJson() {
    if (holdsThreadParser_) threadParser().busy = false;
}

json parseJsonDocument(std::string_view text, std::size_t maximumDepth) {
    const json refused(json::value_t::discarded);
    const ParsedJson parsed(text, maximumDepth);
    const auto& result = parsed.result();
    if (result.error() == simdjson::SUCCESS) return toJson(result.value_unsafe());
    if (result.error() == simdjson::DEPTH_ERROR || result.error() == simdjson::MEMALLOC) return refused;
    // A few documents the fast parser refuses are still JSON (integers beyond 64 bits, say): the
    // general parser decides, after the same depth rule.
    if (isNestedDeeperThan(text, maximumDepth)) return refused;
    return json::parse(text, nullptr, false);
}

void prepareJsonParsing() { (void)simdjson::get_active_implementation()->name(); }

}  // namespace vantrel::backend_detail
