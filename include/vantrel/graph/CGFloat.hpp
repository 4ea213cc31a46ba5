#pragma once

namespace vantrel {

/// The scalar of screen geometry (points, sizes, rectangles): always 64-bit.
using CGFloat = double;

}  // namespace vantrel
