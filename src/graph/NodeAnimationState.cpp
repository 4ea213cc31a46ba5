#include "NodeAnimationState.hpp"

#include <algorithm>

namespace vantrel {

void NodeAnimationState::prune(double now) {
    auto dropFinished = [now](auto& tween) {
        if (tween && !tween->isRunning(now)) {
            tween.reset();
        }
    };
    dropFinished(position);
    dropFinished(orientation);
    dropFinished(scale);
    dropFinished(opacity);
    std::erase_if(actions, [now](const RunningAction& running) { return running.isFinished(now); });
}

bool NodeAnimationState::isIdle() const { return !position && !orientation && !scale && !opacity && actions.empty(); }

SCNVector3 NodeAnimationState::actionOffset(double now) const {
    SCNVector3 offset;
    for (const auto& running : actions) {
        offset += running.offset(now);
    }
    return offset;
}

}  // namespace vantrel
