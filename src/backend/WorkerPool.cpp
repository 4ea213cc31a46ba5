#include "backend/WorkerPool.hpp"

#include "vantrel/core/Log.hpp"

#include <algorithm>

namespace vantrel::backend_detail {

WorkerPool::WorkerPool(std::string name, std::size_t threads) {
    const std::size_t count = std::max<std::size_t>(threads, 1);
    threads_.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        threads_.emplace_back([state = state_, threadName = name + "." + std::to_string(i)] { run(state, threadName); });
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
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return;
        state_->queue.push_back(std::move(work));
    }
    state_->wake.notify_one();
}

bool WorkerPool::isPoolThread() const {
    const auto self = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(), [&](const std::thread& t) { return t.get_id() == self; });
}

void WorkerPool::run(const std::shared_ptr<State>& state, const std::string& name) {
    log::setCurrentThreadName(name);
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
            if (state->queue.empty()) return;  // stopping and drained
            work = std::move(state->queue.front());
            state->queue.pop_front();
        }
        work();
    }
}

}  // namespace vantrel::backend_detail
