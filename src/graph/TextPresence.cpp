#include "vantrel/graph/TextPresence.hpp"

#include <array>

namespace vantrel {
namespace {

// UTF-8 encodings of the Unicode white space and line separators beyond ASCII.
constexpr std::array<std::string_view, 17> kWideBlanks = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
    "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F",
};
constexpr std::array<std::string_view, 2> kMoreWideBlanks = {"\u205F", "\u3000"};

bool isAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Length of the blank that starts (or ends, when `atEnd`) the text; 0 when there is none.
std::size_t blankLength(std::string_view text, bool atEnd) {
    if (text.empty()) {
        return 0;
    }
    if (isAsciiBlank(atEnd ? text.back() : text.front())) {
        return 1;
    }
    auto matches = [&](std::string_view blank) { return atEnd ? text.ends_with(blank) : text.starts_with(blank); };
    for (auto blank : kWideBlanks) {
        if (matches(blank)) {
            return blank.size();
        }
    }
    for (auto blank : kMoreWideBlanks) {
        if (matches(blank)) {
            return blank.size();
        }
    }
    return 0;
}

}  // namespace

std::string_view trimmingWhitespaceAndNewlines(std::string_view text) {
    while (const std::size_t n = blankLength(text, false)) {
        text.remove_prefix(n);
    }
    while (const std::size_t n = blankLength(text, true)) {
        text.remove_suffix(n);
    }
    return text;
}

bool isNotBlank(std::string_view text) { return !trimmingWhitespaceAndNewlines(text).empty(); }

bool isNotBlank(const std::string& text) { return isNotBlank(std::string_view(text)); }

bool isNotBlank(const char* text) { return text != nullptr && isNotBlank(std::string_view(text)); }

bool isNotBlank(const std::optional<std::string>& text) { return text.has_value() && isNotBlank(*text); }

}  // namespace vantrel
