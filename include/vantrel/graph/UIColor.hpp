#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <optional>
#include <string>
#include <string_view>

#include "vantrel/graph/CIColor.hpp"

namespace vantrel {

/// A colour of the user interface and of material contents: red, green, blue and alpha as 64-bit
/// floats, normally in 0…1. A value type, compared component by component.
class UIColor {
public:
    /// Opaque black.
    constexpr UIColor() = default;
    /// A colour with the given components.
    constexpr UIColor(double red, double green, double blue, double alpha = 1.0)
        : red_(red), green_(green), blue_(blue), alpha_(alpha) {}
    /// The same components as an image-processing colour.
    constexpr explicit UIColor(const CIColor& c) : UIColor(c.red, c.green, c.blue, c.alpha) {}

    /// Reads a colour written as six hexadecimal digits, such as "#FF8000".
    ///
    /// White space and line breaks around the text are trimmed, the text is upper-cased and one
    /// leading "#" is dropped; the rest is read as a hexadecimal number (an optional "0X" prefix,
    /// then as many hexadecimal digits as follow). Red is bits 16-23, green bits 8-15, blue bits 0-7,
    /// each divided by 255; alpha is 1. Text that does not start with a hexadecimal digit reads as 0
    /// (opaque black); longer numbers keep only their low 24 bits, and a number too large for 64 bits
    /// reads as all ones. Never fails.
    [[nodiscard]] static UIColor fromHexRgbString(std::string_view hexRgbString);

    /// Reads the text form of `rgbaString()` back; nothing when the text is not that form.
    [[nodiscard]] static std::optional<UIColor> fromRgbaString(std::string_view rgbaString);

    /// The colour as an image-processing colour written as text: "red green blue alpha".
    [[nodiscard]] std::string rgbaString() const;

    /// The colour as an image-processing colour.
    [[nodiscard]] constexpr CIColor ciColor() const { return {red_, green_, blue_, alpha_}; }

    /// Red component.
    [[nodiscard]] constexpr double red() const { return red_; }
    /// Green component.
    [[nodiscard]] constexpr double green() const { return green_; }
    /// Blue component.
    [[nodiscard]] constexpr double blue() const { return blue_; }
    /// Alpha component.
    [[nodiscard]] constexpr double alpha() const { return alpha_; }
    /// The same colour with another alpha.
    [[nodiscard]] constexpr UIColor withAlphaComponent(double alpha) const { return {red_, green_, blue_, alpha}; }

    /// Opaque black.
    [[nodiscard]] static constexpr UIColor blackColor() { return {0.0, 0.0, 0.0, 1.0}; }
    /// Opaque white.
    [[nodiscard]] static constexpr UIColor whiteColor() { return {1.0, 1.0, 1.0, 1.0}; }
    /// Light grey: two thirds white.
    [[nodiscard]] static constexpr UIColor lightGrayColor() { return {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1.0}; }
    /// Opaque blue.
    [[nodiscard]] static constexpr UIColor blueColor() { return {0.0, 0.0, 1.0, 1.0}; }
    /// Fully transparent black.
    [[nodiscard]] static constexpr UIColor clearColor() { return {0.0, 0.0, 0.0, 0.0}; }

    /// Exact equality of the four components.
    friend constexpr bool operator==(const UIColor&, const UIColor&) = default;

private:
    double red_ = 0.0;
    double green_ = 0.0;
    double blue_ = 0.0;
    double alpha_ = 1.0;
};

}  // namespace vantrel

#pragma GCC visibility pop
