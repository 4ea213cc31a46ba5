#include "backend/Backoff.hpp"

#include <algorithm>

namespace vantrel::backend_detail {

std::chrono::milliseconds reconnectDelay(unsigned attempt, std::chrono::milliseconds base,
                                         std::chrono::milliseconds cap, double unit) {
    const double capMs = static_cast<double>(std::max<long long>(cap.count(), 1));
    double full = static_cast<double>(std::max<long long>(base.count(), 1));
    // Doubling stops at the cap, so large attempt numbers cannot overflow.
    for (unsigned i = 0; i < attempt && full < capMs; ++i) full *= 2.0;
    full = std::min(full, capMs);
    const double clamped = std::clamp(unit, 0.0, 1.0);
    const double delay = full / 2.0 + clamped * (full / 2.0);
    return std::chrono::milliseconds(std::max<long long>(1, static_cast<long long>(delay)));
}

}  // namespace vantrel::backend_detail
