#pragma once

#include <chrono>

namespace vantrel::backend_detail {

/// The delay before reconnect attempt `attempt` (0 for the first after a loss): `base` doubled
/// per attempt, capped at `cap`, then drawn between half of that and all of it by `unit` (a
/// random number in [0, 1)). Never below one millisecond.
std::chrono::milliseconds reconnectDelay(unsigned attempt, std::chrono::milliseconds base,
                                         std::chrono::milliseconds cap, double unit);

}  // namespace vantrel::backend_detail
