#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/graph/SCNTimingFunction.hpp"

namespace vantrel {

/// Groups changes of node properties so that they animate together.
///
/// Changes made between `begin()` and `commit()` take effect on the model at once, but the node's
/// presentation moves from where it was shown to the new value over `animationDuration()`, following
/// the timing function. Outside an explicit transaction the duration is 0 and changes show at once.
/// An explicit transaction starts with a duration of 0.25 seconds and the linear curve. Transactions
/// nest; each `commit()` closes the innermost one, and a `commit()` without a `begin()` does nothing.
///
/// Animated properties: position, orientation (also when set as rotation or Euler angles), scale,
/// the transform as a whole, and opacity.
///
/// The transaction state belongs to the calling thread; the scene graph is used from the main thread.
class SCNTransaction {
public:
    /// Opens a transaction.
    static void begin();
    /// Closes the innermost transaction.
    static void commit();
    /// Duration of the innermost transaction in seconds (0 outside any).
    [[nodiscard]] static double animationDuration();
    /// Sets the duration of the innermost transaction; ignored outside any. Negative or not-a-number
    /// durations count as 0.
    static void setAnimationDuration(double seconds);
    /// Timing function of the innermost transaction.
    [[nodiscard]] static SCNTimingFunction animationTimingFunction();
    /// Sets the timing function of the innermost transaction; ignored outside any.
    static void setAnimationTimingFunction(const SCNTimingFunction& function);
    /// Number of open transactions.
    [[nodiscard]] static int depth();
};

}  // namespace vantrel

#pragma GCC visibility pop
