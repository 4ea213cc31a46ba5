#pragma once

// Vectors that records store as text: comma-separated numbers such as "0.5, 0, 1".

#include <optional>
#include <span>
#include <string_view>

namespace vantrel::domain_detail {

/// A piece of vector text as a 32-bit float: blanks (not line breaks) at both ends are ignored,
/// the rest must be one whole number. None for anything else, including infinities and NaN, which
/// would only poison the scene's geometry.
std::optional<float> parseVectorPiece(std::string_view piece);

/// Reads the pieces of `text` into `components` in order. A component whose piece is missing or
/// not a number keeps the value it has; pieces beyond the components are ignored.
void readVectorComponents(std::string_view text, std::span<float> components);

}  // namespace vantrel::domain_detail
