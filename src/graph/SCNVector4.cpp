#include "vantrel/graph/SCNVector4.hpp"

#include <cmath>

namespace vantrel {

SCNVector4 SCNVector4::truncatingRemainder(float divisor) const {
    return {std::fmod(x, divisor), std::fmod(y, divisor), std::fmod(z, divisor), std::fmod(w, divisor)};
}

SCNVector4 round(const SCNVector4& val) {
    return {std::round(val.x), std::round(val.y), std::round(val.z), std::round(val.w)};
}

}  // namespace vantrel
