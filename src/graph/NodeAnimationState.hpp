#pragma once

// Per-node animation bookkeeping: transaction animations of the presented values and running
// actions. Private to the scene graph; a node allocates it only while something animates.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glm/gtc/quaternion.hpp>

#include "vantrel/graph/SCNAction.hpp"
#include "vantrel/graph/SCNTimingFunction.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

namespace graph_internal {

/// A presented value moving from `from` to the model value.
template <typename T>
struct Tween {
    T from;
    double start = 0.0;
    double duration = 0.0;
    SCNTimingFunction timing = SCNTimingFunction::linear();

    [[nodiscard]] bool isRunning(double now) const { return now < start + duration; }
    /// Share of the way from `from` to the target covered at `now`.
    [[nodiscard]] double progress(double now) const {
        return duration > 0.0 ? timing.progress((now - start) / duration) : 1.0;
    }
};

}  // namespace graph_internal

struct NodeAnimationState {
    template <typename T>
    using Tween = graph_internal::Tween<T>;

    /// An action started at `start`; `applied` is the part of its move already added to the model
    /// when it started (its whole move when finite, nothing when endless).
    struct RunningAction {
        std::string key;
        std::shared_ptr<SCNAction> action;
        double start = 0.0;
        SCNVector3 applied;

        [[nodiscard]] bool isFinished(double now) const {
            return action->isFinite() && now - start >= action->duration();
        }
        /// Where the action has the presentation now, relative to the model.
        [[nodiscard]] SCNVector3 offset(double now) const { return action->translationAt(now - start) - applied; }
    };

    std::optional<Tween<SCNVector3>> position;
    std::optional<Tween<glm::quat>> orientation;
    std::optional<Tween<SCNVector3>> scale;
    std::optional<Tween<double>> opacity;
    std::vector<RunningAction> actions;

    /// Drops what has finished by `now`.
    void prune(double now);
    /// True when nothing is left to animate.
    [[nodiscard]] bool isIdle() const;
    /// Sum of the running actions' offsets at `now`.
    [[nodiscard]] SCNVector3 actionOffset(double now) const;
};

}  // namespace vantrel
