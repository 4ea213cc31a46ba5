#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

/// A colour as four plain components, the form the image-processing side of the platform uses and
/// the form that colours take when written as text.
struct CIColor {
    double red = 0.0;    ///< Red, normally 0…1.
    double green = 0.0;  ///< Green, normally 0…1.
    double blue = 0.0;   ///< Blue, normally 0…1.
    double alpha = 1.0;  ///< Opacity, normally 0…1.

    /// Opaque black.
    constexpr CIColor() = default;
    /// A colour with the given components.
    constexpr CIColor(double r, double g, double b, double a = 1.0) : red(r), green(g), blue(b), alpha(a) {}

    /// The text form: the four components red, green, blue and alpha separated by single spaces, each
    /// in its shortest form that reads back to the same number (for example "1 0.5 0 1").
    [[nodiscard]] std::string stringRepresentation() const;

    /// Reads the text form back. Three or four numbers separated by white space, optionally inside
    /// square brackets; a missing alpha reads as 1. Any other text gives nothing.
    [[nodiscard]] static std::optional<CIColor> fromString(std::string_view text);

    /// Opaque blue (0, 0, 1, 1).
    [[nodiscard]] static constexpr CIColor blueColor() { return {0.0, 0.0, 1.0, 1.0}; }

    /// Exact equality of the four components.
    friend constexpr bool operator==(const CIColor&, const CIColor&) = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
