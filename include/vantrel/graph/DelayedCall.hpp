#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>

namespace vantrel {

/// Schedules `block` on the main queue once `delaySeconds` have passed and returns at once.
///
/// A negative or not-a-number delay counts as none; a delay beyond a billion seconds is cut to that,
/// so that the conversion to the queue's clock cannot overflow.
void runOnMainAfter(double delaySeconds, std::function<void()> block);

}  // namespace vantrel

#pragma GCC visibility pop
