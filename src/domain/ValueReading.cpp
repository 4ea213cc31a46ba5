#include "domain/ValueReading.hpp"

#include "vantrel/graph/TextPresence.hpp"

#include <cmath>

namespace vantrel::domain_detail {

std::optional<std::string> readText(const ParseValue& value) { return value.asString(); }

std::string readTextOrEmpty(const ParseValue& value) {
    const auto* text = value.stringValue();
    return text ? *text : std::string();
}

std::string readTrimmedText(const ParseValue& value) {
    const auto* text = value.stringValue();
    return text ? std::string(trimmingWhitespaceAndNewlines(*text)) : std::string();
}

std::optional<std::string> readTrimmedOptionalText(const ParseValue& value) {
    const auto* text = value.stringValue();
    if (!text) return std::nullopt;
    return std::string(trimmingWhitespaceAndNewlines(*text));
}

std::optional<std::string> readPresentText(const ParseValue& value) {
    auto text = readTrimmedOptionalText(value);
    if (!text || text->empty()) return std::nullopt;
    return text;
}

double readDouble(const ParseValue& value, double fallback) { return value.asDouble().value_or(fallback); }

float readFloat(const ParseValue& value, float fallback) {
    if (const auto number = value.asDouble()) return static_cast<float>(*number);
    return fallback;
}

std::int64_t readInteger(const ParseValue& value, std::int64_t fallback) {
    if (const auto integer = value.asInteger()) return *integer;
    if (value.kind() != ParseValue::Kind::number) return fallback;
    const double number = *value.asDouble();
    // 2^63 is exactly representable; anything at or beyond it would not convert.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number >= limit || number < -limit) return fallback;
    return static_cast<std::int64_t>(number);
}

bool readBool(const ParseValue& value, bool fallback) { return value.asBool().value_or(fallback); }

std::vector<std::string> readTextList(const ParseValue& value) {
    const auto* array = value.array();
    if (!array) return {};
    std::vector<std::string> texts;
    texts.reserve(array->size());
    for (const auto& element : *array) {
        const auto* text = element.stringValue();
        if (!text) return {};
        texts.push_back(*text);
    }
    return texts;
}

std::optional<EmbeddedEntity::Dictionary> readDictionary(const ParseValue& value) {
    if (const auto* dictionary = value.object()) return *dictionary;
    return std::nullopt;
}

std::vector<EmbeddedEntity::Dictionary> readDictionaryList(const ParseValue& value) {
    const auto* array = value.array();
    if (!array) return {};
    std::vector<EmbeddedEntity::Dictionary> dictionaries;
    dictionaries.reserve(array->size());
    for (const auto& element : *array) {
        const auto* dictionary = element.object();
        if (!dictionary) return {};
        dictionaries.push_back(*dictionary);
    }
    return dictionaries;
}

std::string normalizedCaseName(std::string_view text) {
    std::string name(trimmingWhitespaceAndNewlines(text));
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

ParseValue textOrNull(const std::optional<std::string>& text) { return text ? ParseValue(*text) : ParseValue::null(); }

ParseValue textListValue(const std::vector<std::string>& texts) {
    ParseValue::Array array;
    array.reserve(texts.size());
    for (const auto& text : texts) array.emplace_back(text);
    return ParseValue(std::move(array));
}

}  // namespace vantrel::domain_detail
