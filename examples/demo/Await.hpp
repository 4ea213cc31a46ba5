#pragma once

// Blocking forms of the library's callback calls for a command-line host: the main queue is pumped
// while waiting, so completions that the library delivers on the main queue arrive too.

#include <vantrel/vantrel.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

namespace demo {

/// Runs `start` with a completion block and pumps the main queue until the block has run or
/// `timeout` has passed; the block's arguments, or nothing on time-out.
template <class... Args, class Start>
std::optional<std::tuple<std::decay_t<Args>...>> await(Start&& start,
                                                       std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
    struct State {
        std::mutex mutex;
        std::optional<std::tuple<std::decay_t<Args>...>> value;
    };
    auto state = std::make_shared<State>();
    start(std::function<void(Args...)>([state](Args... args) {
        std::lock_guard lock(state->mutex);
        if (!state->value) state->value.emplace(std::forward<Args>(args)...);
    }));
    vantrel::MainRunLoop::runUntil(
        [&] {
            std::lock_guard lock(state->mutex);
            return state->value.has_value();
        },
        timeout);
    std::lock_guard lock(state->mutex);
    return state->value;
}

}  // namespace demo
