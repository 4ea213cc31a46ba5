#pragma once

// How records turn stored values into typed values. Accessors never fail: a missing key, a
// stored null or a value of another kind gives the accessor's default.

#include "vantrel/backend/ParseValue.hpp"
#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/domain/TextEnumeration.hpp"

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::domain_detail {

/// The text as stored; none when the value is not text.
std::optional<std::string> readText(const ParseValue& value);
/// The text as stored; empty when the value is not text.
std::string readTextOrEmpty(const ParseValue& value);
/// The text without white space and line breaks at both ends; empty when the value is not text.
std::string readTrimmedText(const ParseValue& value);
/// The trimmed text (possibly empty); none when the value is not text.
std::optional<std::string> readTrimmedOptionalText(const ParseValue& value);
/// The trimmed text; none when the value is not text or nothing is left after trimming.
std::optional<std::string> readPresentText(const ParseValue& value);

/// A floating value; integers count too, since the backend returns integral doubles as integers.
double readDouble(const ParseValue& value, double fallback);
/// `readDouble` narrowed to 32 bits.
float readFloat(const ParseValue& value, float fallback);
/// An integer value. A double counts only when it is integral and fits: the backend keeps every
/// number as a double, so 3.0 is the integer 3 while 2.5 is not an integer at all.
std::int64_t readInteger(const ParseValue& value, std::int64_t fallback);
/// A boolean value; numbers and texts are not booleans.
bool readBool(const ParseValue& value, bool fallback);

/// A list whose every element is text; empty for anything else.
std::vector<std::string> readTextList(const ParseValue& value);

/// The dictionary of a dictionary value; none for anything else.
std::optional<EmbeddedEntity::Dictionary> readDictionary(const ParseValue& value);
/// A list whose every element is a dictionary; empty for anything else (a single dictionary
/// included).
std::vector<EmbeddedEntity::Dictionary> readDictionaryList(const ParseValue& value);

/// The embedded record made from a dictionary value; none for anything else.
template <class T>
std::shared_ptr<T> readEmbedded(const ParseValue& value) {
    if (const auto* dictionary = value.object()) return T::fromDictionary(*dictionary);
    return nullptr;
}

/// One embedded record per dictionary of a list value, in stored order.
template <class T>
std::vector<std::shared_ptr<T>> readEmbeddedList(const ParseValue& value) {
    std::vector<std::shared_ptr<T>> records;
    for (auto& dictionary : readDictionaryList(value)) records.push_back(T::fromDictionary(std::move(dictionary)));
    return records;
}

/// The text trimmed and upper-cased, ASCII letters only (every stored case name is ASCII).
std::string normalizedCaseName(std::string_view text);

/// A text enumeration as records store it: the text trimmed and upper-cased, then matched
/// exactly; `fallback` when the value is not text or names no case.
template <TextEnumeration E>
E readTextEnumeration(const ParseValue& value, E fallback) {
    const auto* text = value.stringValue();
    if (!text) return fallback;
    return fromRawValue<E>(normalizedCaseName(*text)).value_or(fallback);
}

/// A named setting read exactly as stored; `fallback` when the value is not text or names no case.
template <TextEnumeration E>
E readExactEnumeration(const ParseValue& value, E fallback) {
    const auto* text = value.stringValue();
    if (!text) return fallback;
    return fromRawValue<E>(*text).value_or(fallback);
}

/// A text value, or the stored null when there is none.
ParseValue textOrNull(const std::optional<std::string>& text);
/// A list value of texts.
ParseValue textListValue(const std::vector<std::string>& texts);

}  // namespace vantrel::domain_detail
