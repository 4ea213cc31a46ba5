#include "vantrel/graph/SCNText.hpp"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>

#include "GlyphOutlines.hpp"
#include "MeshBuilder.hpp"
#include "Utf8.hpp"

namespace vantrel {
namespace {

using graph_internal::FontFace;
using graph_internal::GlyphShape;
using graph_internal::MeshBuilder;

// A glyph placed on a line, in scene units.
struct PlacedGlyph {
    std::shared_ptr<const GlyphShape> shape;
    glm::dvec2 offset;
    double scale;
};

struct Layout {
    std::vector<PlacedGlyph> glyphs;
    glm::dvec2 lo{0.0};
    glm::dvec2 hi{0.0};
    bool empty = true;
};

Layout layOut(const std::string& text, FontFace& face, double fontSize, double flatness,
              SCNTextAlignmentMode alignment) {
    const double scale = fontSize / face.unitsPerEm();
    const double tolerance = flatness * face.unitsPerEm();
    struct Line {
        std::vector<PlacedGlyph> glyphs;
        double width = 0.0;
    };
    std::vector<Line> lines(1);
    char32_t previous = 0;
    for (char32_t character : graph_internal::decodeUtf8(text)) {
        if (character == U'\n') {
            lines.emplace_back();
            previous = 0;
            continue;
        }
        if (character == U'\r') {
            continue;
        }
        if (character == U'\t') {
            character = U' ';
        }
        Line& line = lines.back();
        if (previous != 0) {
            line.width += face.kerning(previous, character) * scale;
        }
        auto shape = face.glyph(character, tolerance);
        line.glyphs.push_back({shape, {line.width, 0.0}, scale});
        line.width += shape->advance * scale;
        previous = character;
    }
    double widest = 0.0;
    for (const auto& line : lines) {
        widest = std::max(widest, line.width);
    }
    Layout layout;
    const double lineHeight = face.lineHeight() * scale;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        double shift = 0.0;
        if (alignment == SCNTextAlignmentMode::center) {
            shift = (widest - lines[i].width) * 0.5;
        } else if (alignment == SCNTextAlignmentMode::right) {
            shift = widest - lines[i].width;
        }
        const double baseline = -static_cast<double>(i) * lineHeight;
        for (auto& glyph : lines[i].glyphs) {
            glyph.offset += glm::dvec2(shift, baseline);
            for (const auto& contour : glyph.shape->contours.contours) {
                for (const auto& p : contour) {
                    const glm::dvec2 q = glyph.offset + p * glyph.scale;
                    layout.lo = layout.empty ? q : glm::min(layout.lo, q);
                    layout.hi = layout.empty ? q : glm::max(layout.hi, q);
                    layout.empty = false;
                }
            }
            layout.glyphs.push_back(std::move(glyph));
        }
    }
    return layout;
}

// Each contour point moved into the letter by `distance` (the filled side is on the left of the
// contour's direction). Sharp corners move at most twice as far so that spikes stay short.
std::vector<glm::dvec2> inset(const std::vector<glm::dvec2>& contour, double distance) {
    const std::size_t n = contour.size();
    std::vector<glm::dvec2> moved(n);
    const auto leftNormal = [](const glm::dvec2& from, const glm::dvec2& to) {
        const glm::dvec2 d = to - from;
        const double length = glm::length(d);
        return length > 0.0 ? glm::dvec2(-d.y, d.x) / length : glm::dvec2(0.0);
    };
    for (std::size_t i = 0; i < n; ++i) {
        const glm::dvec2& prev = contour[(i + n - 1) % n];
        const glm::dvec2& here = contour[i];
        const glm::dvec2& next = contour[(i + 1) % n];
        const glm::dvec2 n1 = leftNormal(prev, here);
        const glm::dvec2 n2 = leftNormal(here, next);
        glm::dvec2 miter = n1 + n2;
        const double length = glm::length(miter);
        miter = length > 1e-9 ? miter / length : n1;
        const double cosine = std::max(glm::dot(miter, n1), 0.5);
        moved[i] = here + miter * (distance / cosine);
    }
    return moved;
}

class TextMesh {
public:
    TextMesh(const Layout& layout, double depth, double chamfer) : layout_(layout), chamfer_(chamfer) {
        frontZ_ = static_cast<float>(depth * 0.5);
        wallZ_ = static_cast<float>(depth * 0.5 - chamfer);
        size_ = layout.hi - layout.lo;
    }

    void build(MeshBuilder& mesh) {
        mesh.beginElement();  // front
        forEachGlyph(
            [&](const auto&, const auto& faces, const GlyphShape& shape) { cap(mesh, faces, shape, frontZ_, true); });
        mesh.beginElement();  // back
        forEachGlyph(
            [&](const auto&, const auto& faces, const GlyphShape& shape) { cap(mesh, faces, shape, -frontZ_, false); });
        mesh.beginElement();  // sides
        if (wallZ_ > 0.0f) {
            forEachGlyph([&](const auto& outline, const auto&, const GlyphShape&) {
                for (const auto& contour : outline) {
                    band(mesh, contour, -wallZ_, contour, wallZ_);
                }
            });
        }
        if (chamfer_ > 0.0) {
            mesh.beginElement();  // front chamfer
            forEachGlyph([&](const auto& outline, const auto& faces, const GlyphShape&) {
                for (std::size_t c = 0; c < outline.size(); ++c) {
                    band(mesh, outline[c], wallZ_, faces[c], frontZ_);
                }
            });
            mesh.beginElement();  // back chamfer
            forEachGlyph([&](const auto& outline, const auto& faces, const GlyphShape&) {
                for (std::size_t c = 0; c < outline.size(); ++c) {
                    band(mesh, faces[c], -frontZ_, outline[c], -wallZ_);
                }
            });
        }
    }

private:
    // Calls `visit(outline, faceOutline, shape)` per glyph with its contours in scene units: the
    // outline as designed and the (possibly inset) outline of the front and back faces.
    template <typename Visit>
    void forEachGlyph(Visit&& visit) const {
        for (const auto& glyph : layout_.glyphs) {
            std::vector<std::vector<glm::dvec2>> outline;
            std::vector<std::vector<glm::dvec2>> faces;
            for (const auto& contour : glyph.shape->contours.contours) {
                std::vector<glm::dvec2> placed;
                placed.reserve(contour.size());
                for (const auto& p : contour) {
                    placed.push_back(glyph.offset + p * glyph.scale);
                }
                faces.push_back(chamfer_ > 0.0 ? inset(placed, chamfer_) : placed);
                outline.push_back(std::move(placed));
            }
            visit(outline, faces, *glyph.shape);
        }
    }

    glm::vec2 capUv(const glm::dvec2& p) const {
        const double u = size_.x > 0.0 ? (p.x - layout_.lo.x) / size_.x : 0.0;
        const double v = size_.y > 0.0 ? 1.0 - (p.y - layout_.lo.y) / size_.y : 0.0;
        return {static_cast<float>(u), static_cast<float>(v)};
    }

    void cap(MeshBuilder& mesh, const std::vector<std::vector<glm::dvec2>>& contours, const GlyphShape& shape, float z,
             bool front) const {
        const glm::vec3 normal(0.0f, 0.0f, front ? 1.0f : -1.0f);
        std::vector<std::uint32_t> vertices;
        for (const auto& contour : contours) {
            for (const auto& p : contour) {
                vertices.push_back(
                    mesh.vertex({static_cast<float>(p.x), static_cast<float>(p.y), z}, normal, capUv(p)));
            }
        }
        const auto& triangles = shape.triangles;
        for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
            const auto a = vertices[triangles[i]];
            const auto b = vertices[triangles[i + 1]];
            const auto c = vertices[triangles[i + 2]];
            if (front) {
                mesh.triangle(a, b, c);
            } else {
                mesh.triangle(a, c, b);
            }
        }
    }

    // Quads joining `lower` at height `lowZ` to `upper` at `highZ`, facing out of the letter; the two
    // contours have the same number of points.
    static void band(MeshBuilder& mesh, const std::vector<glm::dvec2>& lower, float lowZ,
                     const std::vector<glm::dvec2>& upper, float highZ) {
        const std::size_t n = lower.size();
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t j = (i + 1) % n;
            const glm::vec3 a(static_cast<float>(lower[i].x), static_cast<float>(lower[i].y), lowZ);
            const glm::vec3 b(static_cast<float>(lower[j].x), static_cast<float>(lower[j].y), lowZ);
            const glm::vec3 c(static_cast<float>(upper[j].x), static_cast<float>(upper[j].y), highZ);
            const glm::vec3 d(static_cast<float>(upper[i].x), static_cast<float>(upper[i].y), highZ);
            glm::vec3 normal = glm::cross(b - a, d - a);
            if (!(glm::length(normal) > 0.0f)) {
                normal = glm::cross(c - b, d - b);  // a corner collapsed: use the other half
            }
            const float length = glm::length(normal);
            if (!(length > 0.0f)) {
                continue;  // no area
            }
            normal /= length;
            const float u0 = static_cast<float>(i) / static_cast<float>(n);
            const float u1 = static_cast<float>(i + 1) / static_cast<float>(n);
            mesh.quad(mesh.vertex(a, normal, {u0, 1.0f}), mesh.vertex(b, normal, {u1, 1.0f}),
                      mesh.vertex(c, normal, {u1, 0.0f}), mesh.vertex(d, normal, {u0, 0.0f}));
        }
    }

    const Layout& layout_;
    double chamfer_;
    float frontZ_ = 0.0f;
    float wallZ_ = 0.0f;
    glm::dvec2 size_{0.0};
};

}  // namespace

SCNText::SCNText(std::string string, float extrusionDepth)
    : string_(std::move(string)), extrusionDepth_(graph_internal::sanitizedExtent(extrusionDepth)) {
    rebuild();
    setMaterials({SCNMaterial::make()});
}

std::shared_ptr<SCNGeometry> SCNText::copy() const { return std::make_shared<SCNText>(*this); }

void SCNText::setString(std::string string) {
    string_ = std::move(string);
    rebuild();
}

void SCNText::setFont(SCNFont font) {
    font_ = std::move(font);
    rebuild();
}

void SCNText::setExtrusionDepth(float depth) {
    extrusionDepth_ = graph_internal::sanitizedExtent(depth);
    rebuild();
}

void SCNText::setChamferRadius(float radius) {
    chamferRadius_ = graph_internal::sanitizedExtent(radius);
    rebuild();
}

void SCNText::setAlignmentMode(SCNTextAlignmentMode mode) {
    alignmentMode_ = mode;
    rebuild();
}

void SCNText::setFlatness(float flatness) {
    flatness_ = std::isnan(flatness) ? 0.005f : std::clamp(flatness, 0.0001f, 1.0f);
    rebuild();
}

void SCNText::rebuild() {
    MeshBuilder mesh;
    const auto file = font_.resolvedFile();
    const auto face = file ? FontFace::open(*file) : nullptr;
    if (face && font_.size() > 0.0 && !string_.empty()) {
        const Layout layout = layOut(string_, *face, font_.size(), flatness_, alignmentMode_);
        if (!layout.empty) {
            const double depth = extrusionDepth_;
            const double chamfer = std::min(static_cast<double>(chamferRadius_), depth * 0.5);
            TextMesh(layout, depth, chamfer).build(mesh);
        }
    }
    setMesh(mesh.source(), mesh.elements());
}

}  // namespace vantrel
