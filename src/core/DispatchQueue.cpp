#include "vantrel/core/DispatchQueue.hpp"

#include "core/DispatchQueueImpl.hpp"
#include "core/HostCall.hpp"
#include "core/Timer.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/MainRunLoop.hpp"

#include <algorithm>
#include <exception>
#include <future>
#include <utility>

namespace vantrel {

DispatchQueueImpl*& DispatchQueueImpl::current() noexcept {
    thread_local DispatchQueueImpl* queue = nullptr;
    return queue;
}

void DispatchQueueImpl::runItem(DispatchQueue::Work& work) {
    DispatchQueueImpl* previous = current();
    current() = this;
    detail::callHostCode("a work item of queue", label_, work);
    current() = previous;
}

// ---- main -----------------------------------------------------------------------------------

void MainQueueImpl::enqueue(DispatchQueue::Work work) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(work));
    }
    ready_.notify_all();
}

std::size_t MainQueueImpl::pending() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

std::size_t MainQueueImpl::drain(std::size_t limit) {
    std::size_t ran = 0;
    while (ran < limit) {
        DispatchQueue::Work work;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty()) break;
            work = std::move(items_.front());
            items_.pop_front();
        }
        runItem(work);
        ++ran;
    }
    return ran;
}

void MainQueueImpl::waitForWork(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return !items_.empty() || stopRequested_; });
}

void MainQueueImpl::requestStop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    ready_.notify_all();
}

bool MainQueueImpl::takeStopRequest() {
    std::lock_guard lock(mutex_);
    return std::exchange(stopRequested_, false);
}

// ---- serial and global --------------------------------------------------------------------

WorkerQueueImpl::WorkerQueueImpl(std::string label, std::size_t threads)
    : DispatchQueueImpl(std::move(label), threads == 1) {
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this, i] { loop(i); });
}

WorkerQueueImpl::~WorkerQueueImpl() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (auto& thread : threads_) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // the last reference went away inside one of our own items
        } else if (thread.joinable()) {
            thread.join();
        }
    }
}

void WorkerQueueImpl::enqueue(DispatchQueue::Work work) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(work));
    }
    ready_.notify_one();
}

std::size_t WorkerQueueImpl::pending() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

void WorkerQueueImpl::loop(std::size_t index) {
    log::setCurrentThreadName(serial() ? label() : label() + "." + std::to_string(index));
    for (;;) {
        DispatchQueue::Work work;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !items_.empty(); });
            // Items submitted before the queue went away still run, as on the platform.
            if (items_.empty()) return;
            work = std::move(items_.front());
            items_.pop_front();
            ++running_;
        }
        runItem(work);
        work = nullptr;
        {
            std::lock_guard lock(mutex_);
            --running_;
        }
        idle_.notify_all();
    }
}

bool WorkerQueueImpl::waitUntilIdle(std::optional<std::chrono::nanoseconds> limit) {
    const std::size_t own = current() == this ? 1 : 0;
    auto expired = std::make_shared<bool>(false);  // guarded by mutex_
    if (limit)
        detail::Timer::shared().schedule(*limit, [this, expired] {
            {
                std::lock_guard lock(mutex_);
                *expired = true;
            }
            idle_.notify_all();
        });
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return (items_.empty() && running_ <= own) || *expired; });
    return items_.empty() && running_ <= own;
}

namespace detail {
bool waitUntilGlobalQueueIdle(std::optional<std::chrono::nanoseconds> limit) {
    // The global queue's machinery is a WorkerQueueImpl by construction.
    return static_cast<WorkerQueueImpl&>(DispatchQueue::global().impl()).waitUntilIdle(limit);
}
}  // namespace detail

// ---- DispatchQueue --------------------------------------------------------------------------

DispatchQueue::DispatchQueue(std::unique_ptr<DispatchQueueImpl> impl) : impl_(std::move(impl)) {}
DispatchQueue::~DispatchQueue() = default;

DispatchQueue& DispatchQueue::main() {
    // Never destroyed: work may be submitted from other threads while the process exits.
    static auto* queue = new DispatchQueue(std::make_unique<MainQueueImpl>());
    return *queue;
}

DispatchQueue& DispatchQueue::global() {
    static auto* queue = new DispatchQueue(std::make_unique<WorkerQueueImpl>(
        "com.apple.root.default-qos", std::max<std::size_t>(4, std::thread::hardware_concurrency())));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label) {
    return std::make_shared<DispatchQueue>(std::make_unique<WorkerQueueImpl>(std::move(label), 1));
}

const std::string& DispatchQueue::label() const noexcept { return impl_->label(); }

bool DispatchQueue::isCurrent() const noexcept {
    if (DispatchQueueImpl::current() == impl_.get()) return true;
    return this == &main() && MainRunLoop::isMainThread();
}

bool DispatchQueue::isSerial() const noexcept { return impl_->serial(); }

void DispatchQueue::async(Work work) {
    if (work) impl_->enqueue(std::move(work));
}

void DispatchQueue::sync(const Work& work) {
    if (!work) return;
    if (isCurrent() && isSerial()) {
        work();  // waiting on ourselves would never end
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    impl_->enqueue([&work, &done] {
        try {
            work();
        } catch (...) {
            done.set_exception(std::current_exception());
            return;
        }
        done.set_value();
    });
    finished.get();
}

void DispatchQueue::asyncAfter(Duration delay, Work work) {
    if (!work) return;
    // Serial queues are owned by shared pointers: hold one until the timer fires. The main and
    // global queues live for the whole process.
    std::shared_ptr<DispatchQueue> keepAlive = weak_from_this().lock();
    detail::Timer::shared().schedule(
        delay, [this, keepAlive = std::move(keepAlive), work = std::move(work)]() mutable { async(std::move(work)); });
}

std::size_t DispatchQueue::pendingCount() const { return impl_->pending(); }

}  // namespace vantrel
