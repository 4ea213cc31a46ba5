#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/files/ProgressStatus.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

/// Turns the progress of the N steps of one operation into the operation's own progress: one slot
/// per step, the reported fraction is the plain mean of the slots, and a step's `done` (or a
/// finished step) is passed on as `loading`, since the operation itself goes on. Only `done()`
/// reports `done`. Owned by one call; safe to feed from several threads.
class ProgressCombiner : public std::enable_shared_from_this<ProgressCombiner> {
public:
    /// A combiner of `steps` steps reporting to `block` (which may be empty).
    static std::shared_ptr<ProgressCombiner> make(std::size_t steps, ProgressBlock block);

    ProgressCombiner(std::size_t steps, ProgressBlock block);

    /// Step `step` reports (status, fraction of the step).
    void report(std::size_t step, ProgressStatus status, double fraction);
    /// Step `step` finished: its slot becomes 1.0, reported as `loading`.
    void finishStep(std::size_t step);
    /// The operation finished: reports (`done`, 1.0).
    void done();
    /// A progress block for step `step` that feeds this combiner (it keeps the combiner alive).
    [[nodiscard]] ProgressBlock blockForStep(std::size_t step);
    /// The current mean of the slots.
    [[nodiscard]] double fraction() const;

private:
    mutable std::mutex mutex_;
    std::vector<double> slots_;
    ProgressBlock block_;
};

}  // namespace vantrel

#pragma GCC visibility pop
