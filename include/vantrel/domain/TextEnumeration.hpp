#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace vantrel {

/// The text of each case of an enumeration that records store as text. Specialised per
/// enumeration with `static constexpr std::array<std::pair<E, std::string_view>, N> entries`,
/// listing the cases in declaration order.
template <class E>
struct EnumerationTexts;

/// An enumeration with a text per case.
template <class E>
concept TextEnumeration = requires {
    EnumerationTexts<E>::entries;
};

/// The case whose text is exactly `text` (case-sensitive, untrimmed); none for any other text.
template <TextEnumeration E>
[[nodiscard]] constexpr std::optional<E> fromRawValue(std::string_view text) {
    for (const auto& [value, raw] : EnumerationTexts<E>::entries)
        if (raw == text) return value;
    return std::nullopt;
}

/// The text of `value`; empty for a value that is not one of the cases.
template <TextEnumeration E>
[[nodiscard]] constexpr std::string_view rawValue(E value) {
    for (const auto& [candidate, raw] : EnumerationTexts<E>::entries)
        if (candidate == value) return raw;
    return {};
}

}  // namespace vantrel

#pragma GCC visibility pop
