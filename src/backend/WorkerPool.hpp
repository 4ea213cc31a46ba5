#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::backend_detail {

/// A fixed set of threads running posted work in submission order (one thread gives a serial
/// executor). Items are host code as often as not (completion blocks, subscription handlers): an
/// exception one throws is logged and dropped, and the thread goes on.
///
/// The destructor runs what is still queued, including what those items post in turn, then joins;
/// when the last owner lets go from inside one of the pool's own items, that thread is detached
/// instead of joined. Work posted once every thread has ended runs at once on the posting thread,
/// so nothing posted is ever dropped.
class WorkerPool {
public:
    WorkerPool(std::string name, std::size_t threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Queues `work` (or runs it here, see the class notes).
    void post(std::function<void()> work);
    /// True when the calling thread is one of the pool's.
    [[nodiscard]] bool isPoolThread() const;
    /// Waits until nothing is queued and no item runs (an item of the calling thread, when it is
    /// one of the pool's, does not count). Items posted meanwhile are waited for too.
    void waitUntilIdle();

private:
    // Shared with the threads so that a thread detached by the destructor never touches freed
    // memory after its item returns.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        std::deque<std::function<void()>> queue;
        std::size_t running = 0;      // items being run now
        std::size_t liveThreads = 0;  // threads that have not left their loop
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State>& state, const std::string& name);

    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::string name_;
    std::vector<std::thread> threads_;
};

}  // namespace vantrel::backend_detail
