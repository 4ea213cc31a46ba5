#include "backend/WorkerPool.hpp"

#include "core/HostCall.hpp"
#include "vantrel/core/Log.hpp"

#include <algorithm>

namespace vantrel::backend_detail {

namespace {
// The pool whose item runs on this thread, for `waitUntilIdle` called from inside an item.
thread_local const void* currentPool = nullptr;
}  // namespace

WorkerPool::WorkerPool(std::string name, std::size_t threads) : name_(std::move(name)) {
    const std::size_t count = std::max<std::size_t>(threads, 1);
    state_->liveThreads = count;
    threads_.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        threads_.emplace_back(
            [state = state_, threadName = name_ + "." + std::to_string(i)] { run(state, threadName); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    const auto self = std::this_thread::get_id();
    for (auto& thread : threads_) {
        if (thread.get_id() == self)
            thread.detach();
        else if (thread.joinable())
            thread.join();
    }
}

void WorkerPool::post(std::function<void()> work) {
    {
        std::unique_lock lock(state_->mutex);
        if (state_->liveThreads > 0) {
            state_->queue.push_back(std::move(work));
            // Woken after the lock is let go, the thread finds the lock free instead of waiting for it.
            lock.unlock();
            state_->wake.notify_one();
            return;
        }
    }
    // Every thread has ended (the pool is being destroyed): the work still happens, here.
    detail::callHostCode("a block run by", name_, work);
}

bool WorkerPool::isPoolThread() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(), [&](const std::thread& t) { return t.get_id() == self; });
}

void WorkerPool::waitUntilIdle() {
    const std::size_t own = currentPool == state_.get() ? 1 : 0;
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [&] { return state_->queue.empty() && state_->running <= own; });
}

void WorkerPool::run(const std::shared_ptr<State>& state, const std::string& name) {
    log::setCurrentThreadName(name);
    currentPool = state.get();
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
        if (state->queue.empty()) break;  // stopping and drained
        auto work = std::move(state->queue.front());
        state->queue.pop_front();
        ++state->running;
        lock.unlock();
        detail::callHostCode("a block run by", name, work);
        work = nullptr;  // what the block held goes before the pool counts it done
        lock.lock();
        --state->running;
        if (state->queue.empty()) state->idle.notify_all();
    }
    --state->liveThreads;
    state->idle.notify_all();
}

}  // namespace vantrel::backend_detail
