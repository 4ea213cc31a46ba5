#include "Utf8.hpp"

namespace vantrel::graph_internal {

std::vector<char32_t> decodeUtf8(std::string_view text) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        int read = 1;
        bool valid = true;
        for (; read < length; ++read) {
            if (i + static_cast<std::size_t>(read) >= text.size()) {
                valid = false;
                break;
            }
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(read)]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            value = (value << 6) | (next & 0x3F);
        }
        if (!valid || value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            out.push_back(kReplacement);
            i += static_cast<std::size_t>(read);  // resume at the first byte that did not fit
            continue;
        }
        out.push_back(value);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

}  // namespace vantrel::graph_internal
