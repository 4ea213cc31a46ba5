#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/adapters/AdapterManagementDelegate.hpp"

namespace vantrel {

/// The canvas adapter's delegate: the shared callbacks, and a long press on empty space.
class CanvasManagementDelegate : public AdapterManagementDelegate {
public:
    /// A long press began (or moved) where no model is.
    virtual void onEmptySpaceLongPressed() {}
};

}  // namespace vantrel

#pragma GCC visibility pop
