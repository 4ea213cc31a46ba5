#include "core/Timer.hpp"

#include "core/HostCall.hpp"

#include "vantrel/core/Log.hpp"

#include <algorithm>

namespace vantrel {

namespace {
class SteadyClock final : public Clock {
public:
    [[nodiscard]] TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

// Both are never destroyed: the timer thread reads the clock until the process is gone, so a
// slot torn down by the exit handlers would be read after it was freed.
std::mutex& clockMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::shared_ptr<Clock>& clockSlot() {
    static auto* clock = new std::shared_ptr<Clock>(std::make_shared<SteadyClock>());
    return *clock;
}
}  // namespace

std::shared_ptr<Clock> Clock::current() {
    std::lock_guard lock(clockMutex());
    return clockSlot();
}

void Clock::install(std::shared_ptr<Clock> clock) {
    {
        std::lock_guard lock(clockMutex());
        clockSlot() = clock ? std::move(clock) : std::make_shared<SteadyClock>();
    }
    detail::Timer::shared().poke();
}

ManualClock::TimePoint ManualClock::now() const {
    return origin_ + std::chrono::nanoseconds(offsetNanos_.load(std::memory_order_acquire));
}

void ManualClock::advance(std::chrono::nanoseconds by) {
    offsetNanos_.fetch_add(by.count(), std::memory_order_acq_rel);
    detail::Timer::shared().poke();
}

namespace detail {

Timer& Timer::shared() {
    // Never destroyed: queues may schedule from static destructors of the host.
    static Timer* timer = new Timer();
    return *timer;
}

Timer::Timer() : thread_([this] { loop(); }) {}

Timer::~Timer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void Timer::schedule(std::chrono::nanoseconds delay, std::function<void()> fire) {
    const auto deadline = Clock::current()->now() + std::max(delay, std::chrono::nanoseconds::zero());
    {
        std::lock_guard lock(mutex_);
        heap_.push_back(Entry{deadline, nextSequence_++, std::move(fire)});
        std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
    }
    wake_.notify_all();
}

void Timer::poke() {
    { std::lock_guard lock(mutex_); }
    wake_.notify_all();
}

void Timer::loop() {
    log::setCurrentThreadName("vantrel.timer");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (heap_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto clock = Clock::current();
        const auto now = clock->now();
        if (heap_.front().deadline <= now) {
            std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
            auto fire = std::move(heap_.back().fire);
            heap_.pop_back();
            lock.unlock();
            detail::callHostCode("a block run by", "vantrel.timer", fire);
            lock.lock();
            continue;
        }
        if (clock->isManual()) {
            wake_.wait(lock);
        } else {
            wake_.wait_for(lock, heap_.front().deadline - now);
        }
    }
}

}  // namespace detail
}  // namespace vantrel
