#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace vantrel {

/// The time source of the library's timers (`asyncAfter`). The default follows the steady clock;
/// tests install a ManualClock and move time forward themselves.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    /// The current time.
    [[nodiscard]] virtual TimePoint now() const = 0;
    /// True when time only moves through explicit calls (timers then wait for them).
    [[nodiscard]] virtual bool isManual() const noexcept { return false; }

    /// The clock timers use now.
    static std::shared_ptr<Clock> current();
    /// Replaces the clock timers use; nullptr restores the steady clock.
    static void install(std::shared_ptr<Clock> clock);
};

/// A clock that stands still until `advance` moves it; due timers fire on advancing.
class ManualClock final : public Clock {
public:
    [[nodiscard]] TimePoint now() const override;
    [[nodiscard]] bool isManual() const noexcept override { return true; }
    /// Moves time forward and fires the timers that became due.
    void advance(std::chrono::nanoseconds by);

private:
    std::atomic<std::int64_t> offsetNanos_{0};
    TimePoint origin_ = std::chrono::steady_clock::now();
};

}  // namespace vantrel

#pragma GCC visibility pop
