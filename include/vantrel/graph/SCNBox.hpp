#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>

#include "vantrel/graph/SCNGeometry.hpp"

namespace vantrel {

/// A box centred on the origin. Six elements, in the order front (+Z), right (+X), back (−Z),
/// left (−X), top (+Y), bottom (−Y), so up to six materials can dress its faces.
class SCNBox : public SCNGeometry {
public:
    /// A box of the given extents; negative or not-a-number extents count as 0.
    SCNBox(float width = 1.0f, float height = 1.0f, float length = 1.0f);
    /// A new shared box.
    [[nodiscard]] static std::shared_ptr<SCNBox> make(float width = 1.0f, float height = 1.0f, float length = 1.0f) {
        return std::make_shared<SCNBox>(width, height, length);
    }
    [[nodiscard]] std::shared_ptr<SCNGeometry> copy() const override;

    /// Extent along X.
    [[nodiscard]] float width() const noexcept { return width_; }
    /// Sets the extent along X.
    void setWidth(float width);
    /// Extent along Y.
    [[nodiscard]] float height() const noexcept { return height_; }
    /// Sets the extent along Y.
    void setHeight(float height);
    /// Extent along Z.
    [[nodiscard]] float length() const noexcept { return length_; }
    /// Sets the extent along Z.
    void setLength(float length);

private:
    void rebuild();

    float width_;
    float height_;
    float length_;
};

}  // namespace vantrel

#pragma GCC visibility pop
