#include "vantrel/files/ProgressCombiner.hpp"

#include <algorithm>
#include <numeric>

namespace vantrel {

std::shared_ptr<ProgressCombiner> ProgressCombiner::make(std::size_t steps, ProgressBlock block) {
    return std::make_shared<ProgressCombiner>(steps, std::move(block));
}

ProgressCombiner::ProgressCombiner(std::size_t steps, ProgressBlock block)
    : slots_(steps, 0.0), block_(std::move(block)) {}

void ProgressCombiner::report(std::size_t step, ProgressStatus status, double stepFraction) {
    double mean = 0;
    {
        std::lock_guard lock(mutex_);
        if (step >= slots_.size()) return;
        slots_[step] = std::clamp(stepFraction, 0.0, 1.0);
        mean = std::accumulate(slots_.begin(), slots_.end(), 0.0) / static_cast<double>(slots_.size());
    }
    // The block runs outside the lock: it may report again or finish the operation.
    if (block_) block_(status == ProgressStatus::done ? ProgressStatus::loading : status, mean);
}

void ProgressCombiner::finishStep(std::size_t step) { report(step, ProgressStatus::loading, 1.0); }

void ProgressCombiner::done() {
    if (block_) block_(ProgressStatus::done, 1.0);
}

ProgressBlock ProgressCombiner::blockForStep(std::size_t step) {
    return [self = shared_from_this(), step](ProgressStatus status, double stepFraction) {
        self->report(step, status, stepFraction);
    };
}

double ProgressCombiner::fraction() const {
    std::lock_guard lock(mutex_);
    if (slots_.empty()) return 0;
    return std::accumulate(slots_.begin(), slots_.end(), 0.0) / static_cast<double>(slots_.size());
}

}  // namespace vantrel
