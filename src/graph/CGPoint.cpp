#include "vantrel/graph/CGPoint.hpp"

#include <cmath>
#include <cstdio>

namespace vantrel {

CGFloat CGPoint::length() const { return std::sqrt(x * x + y * y); }

std::string CGPoint::friendlyString() const {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "(%.2f, %.2f)", x, y);
    return buffer;
}

}  // namespace vantrel
