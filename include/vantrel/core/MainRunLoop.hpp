#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <functional>

namespace vantrel {

/// The host's side of the main queue. A host either hands its UI thread to `run()` or calls
/// `drain()` from its own loop (once a frame, say). The thread that pumps is the main thread.
class MainRunLoop {
public:
    /// Serves the main queue on the calling thread until `stop()` is called.
    static void run();
    /// Ends a running `run()` after the item in progress.
    static void stop();
    /// Runs every item that is due now, including items they submit, and returns how many ran.
    static std::size_t drain();
    /// Pumps the main queue until `condition` holds or `timeout` passes; returns the condition's
    /// last value. Meant for tests and command-line hosts.
    static bool runUntil(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// True on the thread that currently pumps (or last pumped) the main queue.
    static bool isMainThread() noexcept;
};

}  // namespace vantrel

#pragma GCC visibility pop
