#include "vantrel/core/MainRunLoop.hpp"

#include "core/DispatchQueueImpl.hpp"

#include <atomic>
#include <thread>

namespace vantrel {

namespace {
std::atomic<std::thread::id>& mainThreadId() {
    static std::atomic<std::thread::id> id{};
    return id;
}
MainQueueImpl& mainImpl() { return static_cast<MainQueueImpl&>(DispatchQueue::main().impl()); }
void adoptCallingThread() { mainThreadId().store(std::this_thread::get_id(), std::memory_order_release); }
// Upper bound of items one drain runs, so that an item that keeps re-submitting itself cannot
// starve the host's own loop.
constexpr std::size_t kDrainLimit = 100000;
}  // namespace

void MainRunLoop::run() {
    adoptCallingThread();
    auto& queue = mainImpl();
    while (!queue.takeStopRequest()) {
        queue.drain(kDrainLimit);
        queue.waitForWork(std::chrono::milliseconds(100));
    }
}

void MainRunLoop::stop() { mainImpl().requestStop(); }

std::size_t MainRunLoop::drain() {
    adoptCallingThread();
    return mainImpl().drain(kDrainLimit);
}

bool MainRunLoop::runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    adoptCallingThread();
    auto& queue = mainImpl();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        queue.drain(kDrainLimit);
        if (condition()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return condition();
        // Wake on new main-queue work or every few milliseconds to look at the condition again,
        // since it may be made true by another thread without touching the main queue.
        queue.waitForWork(std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                                   std::chrono::milliseconds(5)));
    }
}

bool MainRunLoop::isMainThread() noexcept {
    return mainThreadId().load(std::memory_order_acquire) == std::this_thread::get_id();
}

}  // namespace vantrel
