#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>
#include <memory>

namespace vantrel {

/// The time base of scene animations (transactions and actions), in seconds.
///
/// By default it follows the steady clock, so animations play in real time. A renderer that steps
/// frames itself, or a test, installs its own source; ManualSceneClock is the ready-made one. This
/// clock is separate from the timers of the dispatch queues.
///
/// Like the rest of the scene graph it belongs to the main thread.
class SceneClock {
public:
    /// Returns the current scene time in seconds.
    using Source = std::function<double()>;

    /// The current scene time.
    [[nodiscard]] static double now();
    /// Installs a time source and returns the previous one; an empty source restores the steady clock.
    static Source setSource(Source source);
};

/// A scene clock that stands still until `advance` moves it. Installs itself as the scene clock's
/// source for its lifetime and restores the previous source when destroyed.
class ManualSceneClock {
public:
    /// Installs the clock, starting at `startSeconds`.
    explicit ManualSceneClock(double startSeconds = 0.0);
    ~ManualSceneClock();
    ManualSceneClock(const ManualSceneClock&) = delete;
    ManualSceneClock& operator=(const ManualSceneClock&) = delete;

    /// The time this clock shows.
    [[nodiscard]] double now() const noexcept { return *time_; }
    /// Moves the time forward by `seconds`; negative or not-a-number steps are ignored.
    void advance(double seconds);

private:
    // Shared with the installed source, which may outlive a moved-from reference in odd test code.
    std::shared_ptr<double> time_;
    SceneClock::Source previous_;
};

}  // namespace vantrel

#pragma GCC visibility pop
