#pragma once

// A LiveQuery server stand-in on 127.0.0.1 (plain WebSocket) for client tests: it records every
// frame, answers connect / subscribe / unsubscribe the way the real server does, lets a test push
// events, drop connections, or go silent (stop reading, so pings are never answered).

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

class FakeLiveQueryServer {
public:
    FakeLiveQueryServer();
    ~FakeLiveQueryServer();
    FakeLiveQueryServer(const FakeLiveQueryServer&) = delete;
    FakeLiveQueryServer& operator=(const FakeLiveQueryServer&) = delete;

    /// "ws://127.0.0.1:<port>/parse".
    [[nodiscard]] std::string url() const;

    /// Frames received so far, in order, over all connections.
    [[nodiscard]] std::vector<nlohmann::json> frames() const;
    /// Waits (condition variable, bounded) until `count` frames with this "op" arrived in total.
    bool waitForOp(const std::string& op, std::size_t count = 1,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    /// Waits until `count` WebSocket connections were accepted in total.
    bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    [[nodiscard]] std::size_t connectionCount() const;

    /// Sends `frame` on every open connection.
    void send(const nlohmann::json& frame);
    /// Closes every open connection abruptly (as a crashed server would).
    void dropConnections();
    /// From now on, connections stop reading right after answering "connect": nothing more is
    /// read, so pings go unanswered. Affects the next `count` connections.
    void goSilentAfterConnect(int count = 1);
    /// Answers the next "connect" with this frame instead of "connected".
    void refuseNextConnect(nlohmann::json errorFrame);

    /// The server's internals (shared with its I/O thread).
    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace vantrel::test
