#include "domain/VectorText.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace vantrel::domain_detail {
namespace {

// UTF-8 encodings of the Unicode space separators beyond ASCII. Line breaks are not blanks here.
constexpr std::array<std::string_view, 17> kWideSpaces = {
    "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
    "\u2007", "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000", "\t",
};

std::size_t spaceLength(std::string_view text, bool atEnd) {
    if (text.empty()) return 0;
    if ((atEnd ? text.back() : text.front()) == ' ') return 1;
    for (auto space : kWideSpaces)
        if (atEnd ? text.ends_with(space) : text.starts_with(space)) return space.size();
    return 0;
}

std::string_view trimmingSpaces(std::string_view text) {
    while (const std::size_t n = spaceLength(text, false)) text.remove_prefix(n);
    while (const std::size_t n = spaceLength(text, true)) text.remove_suffix(n);
    return text;
}

// The whole of `digits` read in `format`, without a sign of its own.
template <class T>
std::optional<T> parseUnsigned(std::string_view digits, std::chars_format format, bool& outOfRange) {
    outOfRange = false;
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') return std::nullopt;
    T value{};
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, format);
    if (ptr != end) return std::nullopt;
    if (ec == std::errc::result_out_of_range) outOfRange = true;
    if (ec != std::errc()) return std::nullopt;
    return value;
}

// The magnitude as a float. A number below float's range becomes its nearest float (0 or a
// subnormal); one beyond it is refused rather than turned into an infinity.
std::optional<float> parseMagnitude(std::string_view digits, std::chars_format format) {
    bool outOfRange = false;
    if (auto value = parseUnsigned<float>(digits, format, outOfRange)) return value;
    if (!outOfRange) return std::nullopt;
    const auto wide = parseUnsigned<double>(digits, format, outOfRange);
    if (!wide) return std::nullopt;
    const auto narrow = static_cast<float>(*wide);
    if (!std::isfinite(narrow)) return std::nullopt;
    return narrow;
}

}  // namespace

std::optional<float> parseVectorPiece(std::string_view piece) {
    piece = trimmingSpaces(piece);
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    const auto magnitude = piece.starts_with("0x") || piece.starts_with("0X")
                               ? parseMagnitude(piece.substr(2), std::chars_format::hex)
                               : parseMagnitude(piece, std::chars_format::general);
    if (!magnitude || !std::isfinite(*magnitude)) return std::nullopt;
    return negative ? -*magnitude : *magnitude;
}

void readVectorComponents(std::string_view text, std::span<float> components) {
    std::size_t index = 0;
    while (index < components.size()) {
        const auto comma = text.find(',');
        if (const auto number = parseVectorPiece(text.substr(0, comma))) components[index] = *number;
        ++index;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace vantrel::domain_detail
