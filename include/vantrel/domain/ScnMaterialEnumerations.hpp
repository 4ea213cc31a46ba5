#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/TextEnumeration.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNMaterialProperty.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vantrel {

// The names under which material records store the scene graph's material settings. Records
// compare them exactly: "Repeat" is not a wrap mode.

template <>
struct EnumerationTexts<SCNTransparencyMode> {
    static constexpr std::array<std::pair<SCNTransparencyMode, std::string_view>, 4> entries{{
        {SCNTransparencyMode::aOne, "aOne"},
        {SCNTransparencyMode::rgbZero, "rgbZero"},
        {SCNTransparencyMode::singleLayer, "singleLayer"},
        {SCNTransparencyMode::dualLayer, "dualLayer"},
    }};
};

template <>
struct EnumerationTexts<SCNBlendMode> {
    static constexpr std::array<std::pair<SCNBlendMode, std::string_view>, 7> entries{{
        {SCNBlendMode::alpha, "alpha"},
        {SCNBlendMode::add, "add"},
        {SCNBlendMode::subtract, "subtract"},
        {SCNBlendMode::multiply, "multiply"},
        {SCNBlendMode::screen, "screen"},
        {SCNBlendMode::replace, "replace"},
        {SCNBlendMode::max, "max"},
    }};
};

// Only the five models records can name; the platform's shadow-only model has no text.
template <>
struct EnumerationTexts<SCNLightingModel> {
    static constexpr std::array<std::pair<SCNLightingModel, std::string_view>, 5> entries{{
        {SCNLightingModel::blinn, "blinn"},
        {SCNLightingModel::phong, "phong"},
        {SCNLightingModel::lambert, "lambert"},
        {SCNLightingModel::constant, "constant"},
        {SCNLightingModel::physicallyBased, "physicallyBased"},
    }};
};

template <>
struct EnumerationTexts<SCNWrapMode> {
    static constexpr std::array<std::pair<SCNWrapMode, std::string_view>, 4> entries{{
        {SCNWrapMode::clamp, "clamp"},
        {SCNWrapMode::repeat, "repeat"},
        {SCNWrapMode::clampToBorder, "clampToBorder"},
        {SCNWrapMode::mirror, "mirror"},
    }};
};

template <>
struct EnumerationTexts<SCNFilterMode> {
    static constexpr std::array<std::pair<SCNFilterMode, std::string_view>, 3> entries{{
        {SCNFilterMode::none, "none"},
        {SCNFilterMode::nearest, "nearest"},
        {SCNFilterMode::linear, "linear"},
    }};
};

/// Reads a material setting from its exact name, for example `fromString<SCNWrapMode>("repeat")`;
/// none for a text that names no case.
template <TextEnumeration E>
[[nodiscard]] constexpr std::optional<E> fromString(std::string_view text) {
    return fromRawValue<E>(text);
}

/// The name of a material setting; "unknown" for a value without one.
template <TextEnumeration E>
[[nodiscard]] std::string toString(E value) {
    const auto raw = rawValue(value);
    return raw.empty() ? std::string("unknown") : std::string(raw);
}

}  // namespace vantrel

#pragma GCC visibility pop
