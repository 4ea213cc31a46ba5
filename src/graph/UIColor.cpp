#include "vantrel/graph/UIColor.hpp"

#include <cstdint>
#include <limits>

#include "vantrel/graph/TextPresence.hpp"

namespace vantrel {
namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a hexadecimal number the way a text scanner does: an optional "0X" prefix, then every
// hexadecimal digit that follows. Overflow saturates; anything else reads as 0.
std::uint64_t scanHex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'X' || text[1] == 'x') && hexDigitValue(text[2]) >= 0) {
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    bool overflowed = false;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            break;
        }
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) {
            overflowed = true;
        }
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return overflowed ? std::numeric_limits<std::uint64_t>::max() : value;
}

}  // namespace

UIColor UIColor::fromHexRgbString(std::string_view hexRgbString) {
    // Upper-casing cannot change which characters are hexadecimal digits, so the scanner accepts
    // both cases instead of copying the text.
    std::string_view digits = trimmingWhitespaceAndNewlines(hexRgbString);
    if (!digits.empty() && digits.front() == '#') {
        digits.remove_prefix(1);
    }
    const std::uint64_t rgb = scanHex(digits);
    const auto channel = [rgb](int shift) { return static_cast<double>((rgb >> shift) & 0xFFu) / 255.0; };
    return {channel(16), channel(8), channel(0), 1.0};
}

std::optional<UIColor> UIColor::fromRgbaString(std::string_view rgbaString) {
    if (auto color = CIColor::fromString(rgbaString)) {
        return UIColor(*color);
    }
    return std::nullopt;
}

std::string UIColor::rgbaString() const { return ciColor().stringRepresentation(); }

}  // namespace vantrel
