#pragma once

#include "vantrel/core/DispatchQueue.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {

/// The machinery behind one DispatchQueue.
class DispatchQueueImpl {
public:
    explicit DispatchQueueImpl(std::string label, bool serial) : label_(std::move(label)), serial_(serial) {}
    virtual ~DispatchQueueImpl() = default;

    virtual void enqueue(DispatchQueue::Work work) = 0;
    [[nodiscard]] virtual std::size_t pending() const = 0;

    [[nodiscard]] const std::string& label() const noexcept { return label_; }
    [[nodiscard]] bool serial() const noexcept { return serial_; }

    /// The queue whose item runs on the calling thread, if any.
    static DispatchQueueImpl*& current() noexcept;

protected:
    /// Runs one item with `current()` set to this queue; exceptions are logged and dropped so that
    /// one faulty item never takes the queue's thread down.
    void runItem(DispatchQueue::Work& work);

private:
    std::string label_;
    bool serial_;
};

/// The main queue: items wait until the host pumps them.
class MainQueueImpl final : public DispatchQueueImpl {
public:
    MainQueueImpl() : DispatchQueueImpl("com.apple.main-thread", true) {}
    void enqueue(DispatchQueue::Work work) override;
    [[nodiscard]] std::size_t pending() const override;

    /// Runs ready items on the calling thread; returns how many ran.
    std::size_t drain(std::size_t limit);
    /// Waits until an item is ready, `stop()` is called or `timeout` passes.
    void waitForWork(std::chrono::milliseconds timeout);
    void requestStop();
    bool takeStopRequest();

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<DispatchQueue::Work> items_;
    bool stopRequested_ = false;
};

/// A queue served by its own threads: one for a serial queue, a pool for the global queue.
class WorkerQueueImpl final : public DispatchQueueImpl {
public:
    WorkerQueueImpl(std::string label, std::size_t threads);
    ~WorkerQueueImpl() override;
    void enqueue(DispatchQueue::Work work) override;
    [[nodiscard]] std::size_t pending() const override;

    /// Waits until nothing is queued and no item runs (an item of the calling thread does not
    /// count), or until `limit` has passed on Clock::current() when one is given. True when idle.
    /// With a limit the queue must outlive the wait's timer (the global queue lives for the process).
    bool waitUntilIdle(std::optional<std::chrono::nanoseconds> limit = std::nullopt);

private:
    void loop(std::size_t index);
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable idle_;
    std::deque<DispatchQueue::Work> items_;
    std::size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

namespace detail {
/// Waits until the global queue has nothing queued and runs nothing (but the caller's own item),
/// or until `limit` has passed on Clock::current(). True when the queue went idle.
bool waitUntilGlobalQueueIdle(std::optional<std::chrono::nanoseconds> limit = std::nullopt);
}  // namespace detail

}  // namespace vantrel
