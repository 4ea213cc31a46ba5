#pragma once

#include "vantrel/core/Clock.hpp"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel::detail {

/// The one timer thread of the library. Deadlines are measured on Clock::current(); with a manual
/// clock the thread waits until the clock is advanced.
class Timer {
public:
    static Timer& shared();

    /// Runs `fire` (on the timer thread; it should only hand work to a queue) once `delay` passed.
    void schedule(std::chrono::nanoseconds delay, std::function<void()> fire);
    /// Wakes the timer thread to look at the clock again.
    void poke();

    ~Timer();

private:
    Timer();
    void loop();

    struct Entry {
        Clock::TimePoint deadline;
        std::uint64_t sequence;
        std::function<void()> fire;
        bool operator>(const Entry& other) const {
            return deadline != other.deadline ? deadline > other.deadline : sequence > other.sequence;
        }
    };

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Entry> heap_;
    std::uint64_t nextSequence_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vantrel::detail
