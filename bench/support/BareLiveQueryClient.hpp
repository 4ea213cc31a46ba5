#pragma once

// The floor of a live change: a bare WebSocket client (Boost.Beast, blocking, one reader thread)
// that speaks the LiveQuery protocol by hand — connect, subscribe, read frames — with nothing of
// the library in between. Each "create" frame is parsed and handed over with its arrival time.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vantrel_bench {

class BareLiveQueryClient {
public:
    using Clock = std::chrono::steady_clock;
    /// Called on the reader thread with the arrival time and the created row's "version".
    using CreatedBlock = std::function<void(Clock::time_point arrived, const std::string& version)>;

    /// Connects to `server` ("host:port/path", TLS trusted through `caFile`) and subscribes to the
    /// rows of `className` whose "app" is `app`; none when any step fails within 10 s.
    static std::unique_ptr<BareLiveQueryClient> open(const std::string& server, const std::string& caFile,
                                                     const std::string& applicationId, const std::string& clientKey,
                                                     const std::string& className, const std::string& app,
                                                     CreatedBlock created);
    ~BareLiveQueryClient();
    BareLiveQueryClient(const BareLiveQueryClient&) = delete;
    BareLiveQueryClient& operator=(const BareLiveQueryClient&) = delete;

private:
    struct State;
    explicit BareLiveQueryClient(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace vantrel_bench
