#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

class DispatchQueueImpl;

/// A queue of work items, in the manner of the platform's dispatch queues.
///
/// - The main queue belongs to the host's UI thread and runs only when the host pumps it
///   (see MainRunLoop).
/// - Serial queues run one item at a time, in order, on a thread of their own.
/// - The global queue runs items concurrently on a shared pool.
///
/// `asyncAfter` schedules through the library's timer (a clock the tests can replace), never by
/// putting a thread to sleep.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    using Work = std::function<void()>;
    using Duration = std::chrono::nanoseconds;

    /// The main queue, pumped by the host's UI thread.
    static DispatchQueue& main();
    /// The shared concurrent queue for background work.
    static DispatchQueue& global();
    /// A new serial queue named `label`; its thread ends when the last reference goes away.
    static std::shared_ptr<DispatchQueue> makeSerial(std::string label);

    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    /// The queue's label.
    [[nodiscard]] const std::string& label() const noexcept;
    /// True when the calling code runs as an item of this queue.
    [[nodiscard]] bool isCurrent() const noexcept;
    /// True for serial queues and the main queue.
    [[nodiscard]] bool isSerial() const noexcept;

    /// Submits `work` and returns at once.
    void async(Work work);
    /// Submits `work` and waits for it to finish. Called from an item of this same serial queue
    /// (which would deadlock on the platform) the work runs inline instead. Calling it for the
    /// main queue from a thread other than the main thread waits until the host pumps.
    void sync(const Work& work);
    /// Submits `work` once `delay` has passed on the library clock. The queue is kept alive until
    /// then, as the platform does.
    void asyncAfter(Duration delay, Work work);

    /// Number of items submitted and not yet started.
    [[nodiscard]] std::size_t pendingCount() const;

    /// Implementation access for MainRunLoop.
    explicit DispatchQueue(std::unique_ptr<DispatchQueueImpl> impl);
    [[nodiscard]] DispatchQueueImpl& impl() noexcept { return *impl_; }

private:
    std::unique_ptr<DispatchQueueImpl> impl_;
};

/// Short form for `DispatchQueue::main().async(work)`.
inline void dispatchMain(DispatchQueue::Work work) { DispatchQueue::main().async(std::move(work)); }

}  // namespace vantrel

#pragma GCC visibility pop
