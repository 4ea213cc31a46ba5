#include <cmath>
#include <stdexcept>

#include "vantrel/adapters/UITouchDispatcher.hpp"

namespace vantrel {

namespace {

std::vector<UITouch> touchesAt(const std::vector<CGPoint>& points, std::uint64_t firstIdentifier, UITouchPhase phase) {
    std::vector<UITouch> touches;
    touches.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) touches.push_back({firstIdentifier + i, points[i], phase});
    return touches;
}

}  // namespace

void UITouchScript::tap(UITouchDispatcher& dispatcher, const std::vector<CGPoint>& points,
                        std::uint64_t firstIdentifier) {
    dispatcher.touchesBegan(touchesAt(points, firstIdentifier, UITouchPhase::began));
    dispatcher.touchesEnded(touchesAt(points, firstIdentifier, UITouchPhase::ended));
}

void UITouchScript::drag(UITouchDispatcher& dispatcher, CGPoint from, CGPoint to, std::size_t steps,
                         std::uint64_t firstIdentifier) {
    drag(dispatcher, std::vector<CGPoint>{from}, std::vector<CGPoint>{to}, steps, firstIdentifier);
}

void UITouchScript::drag(UITouchDispatcher& dispatcher, const std::vector<CGPoint>& from,
                         const std::vector<CGPoint>& to, std::size_t steps, std::uint64_t firstIdentifier) {
    if (from.size() != to.size())
        throw std::invalid_argument("UITouchScript::drag: as many end points as start points");
    dispatcher.touchesBegan(touchesAt(from, firstIdentifier, UITouchPhase::began));
    std::vector<CGPoint> points = from;
    for (std::size_t step = 1; step <= steps; ++step) {
        const auto t = static_cast<CGFloat>(step) / static_cast<CGFloat>(steps);
        for (std::size_t i = 0; i < from.size(); ++i) points[i] = from[i] + (to[i] - from[i]) * t;
        dispatcher.touchesMoved(touchesAt(points, firstIdentifier, UITouchPhase::moved));
    }
    dispatcher.touchesEnded(touchesAt(points, firstIdentifier, UITouchPhase::ended));
}

void UITouchScript::pinch(UITouchDispatcher& dispatcher, CGPoint centre, CGFloat fromDistance, CGFloat toDistance,
                          std::size_t steps, std::uint64_t firstIdentifier) {
    const CGPoint half(0.5, 0.0);
    drag(dispatcher, {centre - half * fromDistance, centre + half * fromDistance},
         {centre - half * toDistance, centre + half * toDistance}, steps, firstIdentifier);
}

void UITouchScript::rotate(UITouchDispatcher& dispatcher, CGPoint centre, CGFloat radius, CGFloat fromAngle,
                           CGFloat toAngle, std::size_t steps, std::uint64_t firstIdentifier) {
    const auto pointsAt = [&](CGFloat angle) {
        const CGPoint arm(std::cos(angle) * radius, std::sin(angle) * radius);
        return std::vector<UITouch>{{firstIdentifier, centre - arm, UITouchPhase::moved},
                                    {firstIdentifier + 1, centre + arm, UITouchPhase::moved}};
    };
    auto touches = pointsAt(fromAngle);
    dispatcher.touchesBegan(touches);
    for (std::size_t step = 1; step <= steps; ++step) {
        const auto t = static_cast<CGFloat>(step) / static_cast<CGFloat>(steps);
        touches = pointsAt(fromAngle + (toAngle - fromAngle) * t);
        dispatcher.touchesMoved(touches);
    }
    dispatcher.touchesEnded(touches);
}

}  // namespace vantrel
