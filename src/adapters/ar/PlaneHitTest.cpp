#include "adapters/ar/PlaneHitTest.hpp"

#include <algorithm>

#include "vantrel/adapters/ARSCNView.hpp"

namespace vantrel::detail {
namespace {

std::optional<ARPlaneAnchorAlignment> alignmentOf(const ARHitTestResult& result) {
    const auto plane = std::dynamic_pointer_cast<ARPlaneAnchor>(result.anchor);
    if (plane == nullptr) return std::nullopt;
    return plane->alignment();
}

const ARHitTestResult* firstOfType(const std::vector<ARHitTestResult>& results, ARHitTestResultType type) {
    const auto it = std::find_if(results.begin(), results.end(), [type](const auto& r) { return r.type == type; });
    return it == results.end() ? nullptr : &*it;
}

}  // namespace

std::optional<ARHitTestResult> planeHitTest(const ARSCNView& view, const CGPoint& point, bool infinitePlane,
                                            const std::optional<SCNVector3>& objectPosition,
                                            const std::vector<ARPlaneAnchorAlignment>& allowedAlignments) {
    const auto allowed = [&](ARPlaneAnchorAlignment alignment) {
        return std::find(allowedAlignments.begin(), allowedAlignments.end(), alignment) != allowedAlignments.end();
    };
    const auto results = view.hitTest(point, ARHitTestResultType::existingPlaneUsingGeometry |
                                                 ARHitTestResultType::estimatedVerticalPlane |
                                                 ARHitTestResultType::estimatedHorizontalPlane);
    for (const auto& result : results) {
        const auto alignment = alignmentOf(result);
        if (result.type == ARHitTestResultType::existingPlaneUsingGeometry && alignment && allowed(*alignment)) {
            return result;
        }
    }

    if (infinitePlane) {
        for (const auto& result : view.hitTest(point, ARHitTestResultType::existingPlane)) {
            const auto alignment = alignmentOf(result);
            if (!alignment || !allowed(*alignment)) continue;
            if (*alignment != ARPlaneAnchorAlignment::vertical && objectPosition) {
                const float y = result.worldTransform[3].y;
                if (objectPosition->y > y - 0.05f && objectPosition->y < y + 0.05f) return result;
                break;
            }
            return result;
        }
    }

    const ARHitTestResult* vertical = firstOfType(results, ARHitTestResultType::estimatedVerticalPlane);
    const ARHitTestResult* horizontal = firstOfType(results, ARHitTestResultType::estimatedHorizontalPlane);
    const bool verticalAllowed = allowed(ARPlaneAnchorAlignment::vertical);
    const bool horizontalAllowed = allowed(ARPlaneAnchorAlignment::horizontal);
    const ARHitTestResult* chosen = nullptr;
    if (verticalAllowed && !horizontalAllowed) {
        chosen = vertical;
    } else if (verticalAllowed && horizontalAllowed) {
        if (vertical != nullptr && horizontal != nullptr) {
            chosen = horizontal->distance < vertical->distance ? horizontal : vertical;
        } else {
            chosen = vertical != nullptr ? vertical : horizontal;
        }
    } else if (horizontalAllowed) {
        chosen = horizontal;
    }
    if (chosen == nullptr) return std::nullopt;
    return *chosen;
}

}  // namespace vantrel::detail
