#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// The scalar of screen geometry (points, sizes, rectangles): always 64-bit.
using CGFloat = double;

}  // namespace vantrel

#pragma GCC visibility pop
