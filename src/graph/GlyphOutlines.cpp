#include "GlyphOutlines.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include <glm/geometric.hpp>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

namespace vantrel::graph_internal {
namespace {

// The FreeType library handle, made on first use and kept for the process.
struct Library {
    FT_Library handle = nullptr;
    std::mutex mutex;
    // Faces stay open for the process: labels reuse a handful of fonts.
    std::map<std::filesystem::path, std::shared_ptr<FontFace>> faces;

    Library() {
        if (FT_Init_FreeType(&handle) != 0) {
            handle = nullptr;
        }
    }
    ~Library() {
        faces.clear();  // faces close before the library that made them
        if (handle != nullptr) {
            FT_Done_FreeType(handle);
        }
    }
};

Library& library() {
    static Library instance;
    return instance;
}

// Collects an outline as polygons while FreeType walks it; curves become line segments.
struct OutlineSink {
    std::vector<std::vector<glm::dvec2>> contours;
    glm::dvec2 pen{0.0};
    double tolerance = 1.0;

    void startContourIfNeeded() {
        if (contours.empty()) {
            contours.push_back({pen});
        }
    }

    static glm::dvec2 point(const FT_Vector* v) { return {static_cast<double>(v->x), static_cast<double>(v->y)}; }

    // Segments needed so that a curve with the given second-difference size stays within tolerance.
    int segmentsFor(double curvature) const {
        const double n = std::ceil(std::sqrt(curvature / (8.0 * tolerance)));
        return std::clamp(static_cast<int>(std::isfinite(n) ? n : 1.0), 1, 64);
    }

    static int moveTo(const FT_Vector* to, void* user) {
        auto& self = *static_cast<OutlineSink*>(user);
        self.contours.emplace_back();
        self.pen = point(to);
        self.contours.back().push_back(self.pen);
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* user) {
        auto& self = *static_cast<OutlineSink*>(user);
        self.startContourIfNeeded();
        self.pen = point(to);
        self.contours.back().push_back(self.pen);
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto& self = *static_cast<OutlineSink*>(user);
        self.startContourIfNeeded();
        const glm::dvec2 p0 = self.pen;
        const glm::dvec2 p1 = point(control);
        const glm::dvec2 p2 = point(to);
        // n chords stray from a curve by at most |P''| / (8 n²); for a quadratic P'' = 2(p0 − 2p1 + p2).
        const int n = self.segmentsFor(2.0 * glm::length(p0 - 2.0 * p1 + p2));
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double u = 1.0 - t;
            self.contours.back().push_back(u * u * p0 + 2.0 * u * t * p1 + t * t * p2);
        }
        self.pen = p2;
        return 0;
    }
    static int cubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
        auto& self = *static_cast<OutlineSink*>(user);
        self.startContourIfNeeded();
        const glm::dvec2 p0 = self.pen;
        const glm::dvec2 p1 = point(control1);
        const glm::dvec2 p2 = point(control2);
        const glm::dvec2 p3 = point(to);
        const double curvature = 6.0 * std::max(glm::length(p0 - 2.0 * p1 + p2), glm::length(p1 - 2.0 * p2 + p3));
        const int n = self.segmentsFor(curvature);
        for (int i = 1; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double u = 1.0 - t;
            self.contours.back().push_back(u * u * u * p0 + 3.0 * u * u * t * p1 + 3.0 * u * t * t * p2 +
                                           t * t * t * p3);
        }
        self.pen = p3;
        return 0;
    }
};

}  // namespace

struct FontFace::Impl {
    FT_Face face = nullptr;
    std::mutex mutex;
    std::map<std::pair<char32_t, double>, std::shared_ptr<const GlyphShape>> glyphs;

    ~Impl() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
    }
};

FontFace::FontFace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
    const FT_Face face = impl_->face;
    unitsPerEm_ = face->units_per_EM > 0 ? face->units_per_EM : 1000.0;
    lineHeight_ = face->height > 0 ? face->height : unitsPerEm_ * 1.2;
}

FontFace::~FontFace() = default;

std::shared_ptr<FontFace> FontFace::open(const std::filesystem::path& path) {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    if (lib.handle == nullptr) {
        return nullptr;
    }
    if (auto it = lib.faces.find(path); it != lib.faces.end()) {
        return it->second;
    }
    auto impl = std::make_unique<Impl>();
    if (FT_New_Face(lib.handle, path.c_str(), 0, &impl->face) != 0) {
        impl->face = nullptr;
        return nullptr;
    }
    if (!FT_IS_SCALABLE(impl->face)) {
        FT_Done_Face(impl->face);
        impl->face = nullptr;
        return nullptr;
    }
    FT_Select_Charmap(impl->face, FT_ENCODING_UNICODE);
    std::shared_ptr<FontFace> face(new FontFace(std::move(impl)));
    lib.faces[path] = face;
    return face;
}

std::shared_ptr<const GlyphShape> FontFace::glyph(char32_t character, double tolerance) {
    std::lock_guard lock(impl_->mutex);
    const auto key = std::make_pair(character, tolerance);
    if (auto it = impl_->glyphs.find(key); it != impl_->glyphs.end()) {
        return it->second;
    }
    auto shape = std::make_shared<GlyphShape>();
    const FT_UInt index = FT_Get_Char_Index(impl_->face, character);
    if (FT_Load_Glyph(impl_->face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) == 0) {
        const FT_GlyphSlot slot = impl_->face->glyph;
        shape->advance = static_cast<double>(slot->metrics.horiAdvance);
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            OutlineSink sink;
            sink.tolerance = std::max(tolerance, 1e-3);
            FT_Outline_Funcs funcs{};
            funcs.move_to = &OutlineSink::moveTo;
            funcs.line_to = &OutlineSink::lineTo;
            funcs.conic_to = &OutlineSink::conicTo;
            funcs.cubic_to = &OutlineSink::cubicTo;
            if (FT_Outline_Decompose(&slot->outline, &funcs, &sink) == 0) {
                // Fonts wind outer contours one way (TrueType clockwise, PostScript the other);
                // trusting that keeps overlapping parts of composed letters filled.
                std::optional<bool> outerCounterClockwise;
                switch (FT_Outline_Get_Orientation(&slot->outline)) {
                    case FT_ORIENTATION_TRUETYPE: outerCounterClockwise = false; break;
                    case FT_ORIENTATION_POSTSCRIPT: outerCounterClockwise = true; break;
                    default: break;
                }
                shape->contours = prepareContours(sink.contours, outerCounterClockwise);
                shape->triangles = triangulate(shape->contours);
            }
        }
    }
    impl_->glyphs.emplace(key, shape);
    return shape;
}

double FontFace::kerning(char32_t left, char32_t right) {
    std::lock_guard lock(impl_->mutex);
    if (!FT_HAS_KERNING(impl_->face)) {
        return 0.0;
    }
    FT_Vector delta{};
    const FT_UInt l = FT_Get_Char_Index(impl_->face, left);
    const FT_UInt r = FT_Get_Char_Index(impl_->face, right);
    if (FT_Get_Kerning(impl_->face, l, r, FT_KERNING_UNSCALED, &delta) != 0) {
        return 0.0;
    }
    return static_cast<double>(delta.x);
}

}  // namespace vantrel::graph_internal
