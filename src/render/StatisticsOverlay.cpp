#include "render/StatisticsOverlay.hpp"

#include <cstdint>
#include <cstdio>

namespace vantrel::detail {
namespace {

// A 3 × 5 block font: five rows of three bits, top row first, high bit on the left.
struct Glyph {
    char character;
    std::uint8_t rows[5];
};

constexpr Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'.', {0, 0, 0, 0, 2}}, {'m', {0, 0, 7, 7, 5}},
    {'s', {0, 3, 6, 3, 6}}, {'d', {1, 1, 7, 5, 7}}, {'r', {0, 0, 7, 4, 4}}, {'a', {0, 7, 1, 7, 7}},
    {'w', {0, 0, 5, 7, 7}}, {'t', {2, 7, 2, 2, 3}}, {'i', {2, 0, 2, 2, 2}}, {'x', {0, 0, 5, 2, 5}},
};

const Glyph* glyph(char c) {
    for (const Glyph& g : kGlyphs) {
        if (g.character == c) {
            return &g;
        }
    }
    return nullptr;
}

}  // namespace

std::string statisticsText(const SCNRenderStatistics& statistics) {
    char text[112];
    std::snprintf(text, sizeof text, "%.1f ms  x%.2f  %zu draws  %zu tris", statistics.frameTime.count(),
                  statistics.renderScale, statistics.drawCalls, statistics.triangles);
    return text;
}

std::vector<glm::vec3> statisticsOverlay(const SCNRenderStatistics& statistics, int width, int height, float dot) {
    const std::string text = statisticsText(statistics);
    const float pixel = dot;
    const float margin = 2.0f * dot;
    const float panelWidth = margin * 2.0f + static_cast<float>(text.size()) * 4.0f * pixel;
    const float panelHeight = margin * 2.0f + 5.0f * pixel;
    std::vector<glm::vec3> out;
    // Pixel rectangle (x, y from the bottom-left) to two clip-space triangles.
    const auto rectangle = [&](float x, float y, float w, float h) {
        const float x0 = x / static_cast<float>(width) * 2.0f - 1.0f;
        const float y0 = y / static_cast<float>(height) * 2.0f - 1.0f;
        const float x1 = (x + w) / static_cast<float>(width) * 2.0f - 1.0f;
        const float y1 = (y + h) / static_cast<float>(height) * 2.0f - 1.0f;
        out.insert(out.end(), {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y0, 0}, {x1, y1, 0}, {x0, y1, 0}});
    };
    rectangle(0.0f, 0.0f, panelWidth, panelHeight);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = glyph(text[i]);
        if (g == nullptr) {
            continue;
        }
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 3; ++column) {
                if (g->rows[row] & (4 >> column)) {
                    rectangle(margin + (static_cast<float>(i) * 4.0f + static_cast<float>(column)) * pixel,
                              margin + static_cast<float>(4 - row) * pixel, pixel, pixel);
                }
            }
        }
    }
    return out;
}

}  // namespace vantrel::detail
