#include "vantrel/graph/CIColor.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace vantrel {
namespace {

void appendShortest(std::string& out, double value) {
    // Shortest round-trip form, so that reading the text back gives the same double.
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string CIColor::stringRepresentation() const {
    std::string text;
    appendShortest(text, red);
    text += ' ';
    appendShortest(text, green);
    text += ' ';
    appendShortest(text, blue);
    text += ' ';
    appendShortest(text, alpha);
    return text;
}

std::optional<CIColor> CIColor::fromString(std::string_view text) {
    auto skipSeparators = [&text] {
        while (!text.empty() && isSeparator(text.front())) {
            text.remove_prefix(1);
        }
    };
    skipSeparators();
    const bool bracketed = !text.empty() && text.front() == '[';
    if (bracketed) {
        text.remove_prefix(1);
    }

    std::array<double, 4> components{0.0, 0.0, 0.0, 1.0};
    std::size_t count = 0;
    for (;;) {
        skipSeparators();
        if (text.empty() || text.front() == ']') {
            break;
        }
        if (count == components.size()) {
            return std::nullopt;
        }
        double value = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc{} || !std::isfinite(value)) {
            return std::nullopt;
        }
        const auto consumed = static_cast<std::size_t>(result.ptr - text.data());
        text.remove_prefix(consumed);
        if (!text.empty() && !isSeparator(text.front()) && text.front() != ']') {
            return std::nullopt;
        }
        components[count++] = value;
    }
    if (bracketed) {
        if (text.empty() || text.front() != ']') {
            return std::nullopt;
        }
        text.remove_prefix(1);
        skipSeparators();
    }
    if (!text.empty() || count < 3) {
        return std::nullopt;
    }
    return CIColor{components[0], components[1], components[2], components[3]};
}

}  // namespace vantrel
