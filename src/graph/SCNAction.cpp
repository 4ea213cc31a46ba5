#include "vantrel/graph/SCNAction.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "vantrel/graph/SCNTimingFunction.hpp"

namespace vantrel {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double sanitizedDuration(double seconds) { return (std::isnan(seconds) || seconds < 0.0) ? 0.0 : seconds; }

SCNTimingFunction timingFor(SCNActionTimingMode mode) {
    switch (mode) {
        case SCNActionTimingMode::easeIn: return SCNTimingFunction::easeIn();
        case SCNActionTimingMode::easeOut: return SCNTimingFunction::easeOut();
        case SCNActionTimingMode::easeInEaseOut: return SCNTimingFunction::easeInEaseOut();
        case SCNActionTimingMode::linear: break;
    }
    return SCNTimingFunction::linear();
}

std::vector<std::shared_ptr<SCNAction>> withoutNulls(std::vector<std::shared_ptr<SCNAction>> actions) {
    std::erase(actions, nullptr);
    return actions;
}

std::vector<std::shared_ptr<SCNAction>> deepCopies(const std::vector<std::shared_ptr<SCNAction>>& actions) {
    std::vector<std::shared_ptr<SCNAction>> copies;
    copies.reserve(actions.size());
    for (const auto& action : actions) {
        copies.push_back(action->copy());
    }
    return copies;
}

class MoveByAction final : public SCNAction {
public:
    MoveByAction(const SCNVector3& delta, double duration) : delta_(delta), duration_(sanitizedDuration(duration)) {}
    std::shared_ptr<SCNAction> copy() const override { return std::make_shared<MoveByAction>(*this); }

protected:
    double rawDuration() const override { return duration_; }
    SCNVector3 rawTranslationAt(double elapsed) const override {
        if (duration_ <= 0.0) {
            return delta_;
        }
        return delta_ * static_cast<float>(elapsed / duration_);
    }
    SCNVector3 rawTotalTranslation() const override { return delta_; }

private:
    SCNVector3 delta_;
    double duration_;
};

class WaitAction final : public SCNAction {
public:
    explicit WaitAction(double duration) : duration_(sanitizedDuration(duration)) {}
    std::shared_ptr<SCNAction> copy() const override { return std::make_shared<WaitAction>(*this); }

protected:
    double rawDuration() const override { return duration_; }
    SCNVector3 rawTranslationAt(double) const override { return {}; }
    SCNVector3 rawTotalTranslation() const override { return {}; }

private:
    double duration_;
};

// Runs several actions, one after another or side by side; either way the whole move is the sum
// of the parts' moves.
class CompositeAction : public SCNAction {
public:
    explicit CompositeAction(std::vector<std::shared_ptr<SCNAction>> actions) : actions_(std::move(actions)) {}
    CompositeAction(const CompositeAction& other) : SCNAction(other), actions_(deepCopies(other.actions_)) {}

protected:
    SCNVector3 rawTotalTranslation() const override {
        SCNVector3 moved;
        for (const auto& action : actions_) {
            moved += action->totalTranslation();
        }
        return moved;
    }

    std::vector<std::shared_ptr<SCNAction>> actions_;
};

class SequenceAction final : public CompositeAction {
public:
    using CompositeAction::CompositeAction;
    std::shared_ptr<SCNAction> copy() const override { return std::make_shared<SequenceAction>(*this); }

protected:
    double rawDuration() const override {
        double total = 0.0;
        for (const auto& action : actions_) {
            total += action->duration();
        }
        return total;
    }
    SCNVector3 rawTranslationAt(double elapsed) const override {
        SCNVector3 moved;
        for (const auto& action : actions_) {
            const double length = action->duration();
            if (elapsed < length) {
                return moved + action->translationAt(elapsed);
            }
            moved += action->totalTranslation();
            elapsed -= length;
        }
        return moved;
    }
};

class GroupAction final : public CompositeAction {
public:
    using CompositeAction::CompositeAction;
    std::shared_ptr<SCNAction> copy() const override { return std::make_shared<GroupAction>(*this); }

protected:
    double rawDuration() const override {
        double longest = 0.0;
        for (const auto& action : actions_) {
            longest = std::max(longest, action->duration());
        }
        return longest;
    }
    SCNVector3 rawTranslationAt(double elapsed) const override {
        SCNVector3 moved;
        for (const auto& action : actions_) {
            moved += action->translationAt(elapsed);
        }
        return moved;
    }
};

// Repeats an action `count` times, or forever when `count` is absent.
class RepeatAction final : public SCNAction {
public:
    RepeatAction(std::shared_ptr<SCNAction> action, std::optional<std::size_t> count)
        : action_(std::move(action)), count_(count) {}
    RepeatAction(const RepeatAction& other)
        : SCNAction(other), action_(other.action_ ? other.action_->copy() : nullptr), count_(other.count_) {}
    std::shared_ptr<SCNAction> copy() const override { return std::make_shared<RepeatAction>(*this); }

protected:
    double rawDuration() const override {
        const double once = onceDuration();
        if (!count_) {
            // Repeating something that takes no time could never advance: it counts as nothing.
            return once > 0.0 ? kInfinity : 0.0;
        }
        return once * static_cast<double>(*count_);
    }
    SCNVector3 rawTranslationAt(double elapsed) const override {
        const double once = onceDuration();
        if (!action_ || once <= 0.0 || (count_ && *count_ == 0)) {
            return count_ ? rawTotalTranslation() : SCNVector3{};
        }
        if (!std::isfinite(once)) {
            return action_->translationAt(elapsed);
        }
        double rounds = std::floor(elapsed / once);
        if (count_ && rounds >= static_cast<double>(*count_)) {
            return rawTotalTranslation();
        }
        const double within = elapsed - rounds * once;
        return action_->totalTranslation() * static_cast<float>(rounds) + action_->translationAt(within);
    }
    SCNVector3 rawTotalTranslation() const override {
        if (!action_ || !count_) {
            return {};
        }
        return action_->totalTranslation() * static_cast<float>(*count_);
    }

private:
    double onceDuration() const { return action_ ? action_->duration() : 0.0; }

    std::shared_ptr<SCNAction> action_;
    std::optional<std::size_t> count_;
};

}  // namespace

SCNAction::~SCNAction() = default;

std::shared_ptr<SCNAction> SCNAction::moveBy(const SCNVector3& delta, double duration) {
    return std::make_shared<MoveByAction>(delta, duration);
}

std::shared_ptr<SCNAction> SCNAction::wait(double duration) { return std::make_shared<WaitAction>(duration); }

std::shared_ptr<SCNAction> SCNAction::sequence(std::vector<std::shared_ptr<SCNAction>> actions) {
    return std::make_shared<SequenceAction>(withoutNulls(std::move(actions)));
}

std::shared_ptr<SCNAction> SCNAction::group(std::vector<std::shared_ptr<SCNAction>> actions) {
    return std::make_shared<GroupAction>(withoutNulls(std::move(actions)));
}

std::shared_ptr<SCNAction> SCNAction::repeat(std::shared_ptr<SCNAction> action, std::size_t count) {
    return std::make_shared<RepeatAction>(std::move(action), count);
}

std::shared_ptr<SCNAction> SCNAction::repeatForever(std::shared_ptr<SCNAction> action) {
    return std::make_shared<RepeatAction>(std::move(action), std::nullopt);
}

double SCNAction::duration() const { return rawDuration(); }

bool SCNAction::isFinite() const { return std::isfinite(duration()); }

SCNVector3 SCNAction::translationAt(double elapsed) const {
    const double length = duration();
    if (std::isnan(elapsed) || elapsed < 0.0) {
        elapsed = 0.0;
    }
    if (!std::isfinite(length)) {
        // Timing curves need an end; an endless action runs at its own pace.
        return rawTranslationAt(elapsed);
    }
    if (elapsed >= length) {
        return rawTotalTranslation();
    }
    const double timed = timingFor(timingMode_).progress(elapsed / length) * length;
    return rawTranslationAt(timed);
}

SCNVector3 SCNAction::totalTranslation() const { return rawTotalTranslation(); }

}  // namespace vantrel
