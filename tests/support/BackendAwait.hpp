#pragma once

// Waiting for completion blocks in backend tests: a value that a block delivers once, read with a
// bounded wait (never a sleep). The state is shared, so a block that fires after a test gave up
// finds it still alive.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vantrel::test {

inline constexpr std::chrono::seconds kBackendWait{30};

template <class T>
class Await {
public:
    /// Stores the delivered value (the first one wins).
    void set(T value) const {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->value) return;
            state_->value = std::move(value);
        }
        state_->ready.notify_all();
    }
    /// A callable that stores what it receives.
    [[nodiscard]] std::function<void(T)> setter() const {
        return [self = *this](T value) { self.set(std::move(value)); };
    }
    /// The value, or none when it did not come within `timeout`.
    [[nodiscard]] std::optional<T> get(std::chrono::milliseconds timeout = kBackendWait) const {
        std::unique_lock lock(state_->mutex);
        state_->ready.wait_for(lock, timeout, [&] { return state_->value.has_value(); });
        return state_->value;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable ready;
        std::optional<T> value;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

/// A list that grows from other threads, with a bounded wait for a condition over it.
template <class T>
class Collector {
public:
    void add(T value) const {
        {
            std::lock_guard lock(state_->mutex);
            state_->items.push_back(std::move(value));
        }
        state_->changed.notify_all();
    }
    [[nodiscard]] std::vector<T> items() const {
        std::lock_guard lock(state_->mutex);
        return state_->items;
    }
    /// Waits until `condition(items)` holds; returns its last value.
    bool waitFor(const std::function<bool(const std::vector<T>&)>& condition,
                 std::chrono::milliseconds timeout = kBackendWait) const {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, timeout, [&] { return condition(state_->items); });
    }
    /// Waits until at least `count` items arrived.
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout = kBackendWait) const {
        return waitFor([count](const std::vector<T>& items) { return items.size() >= count; }, timeout);
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<T> items;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace vantrel::test
