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
/// executor). The destructor runs what is still queued, then joins; when the last owner lets go
/// from inside one of the pool's own items, that thread is detached instead of joined.
class WorkerPool {
public:
    WorkerPool(std::string name, std::size_t threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Queues `work`; ignored once the pool is shutting down.
    void post(std::function<void()> work);
    /// True when the calling thread is one of the pool's.
    [[nodiscard]] bool isPoolThread() const;

private:
    // Shared with the threads so that a thread detached by the destructor never touches freed
    // memory after its item returns.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> queue;
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State>& state, const std::string& name);

    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::vector<std::thread> threads_;
};

}  // namespace vantrel::backend_detail
