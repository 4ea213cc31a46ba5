#pragma once

// `peer.mjs listen` running beside a test: the JavaScript SDK's view of live events.

#include "support/BackendAwait.hpp"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::test {

class PeerListener {
public:
    /// Starts `peer.mjs <options> listen <className> <where> <count>`.
    PeerListener(const std::vector<std::string>& options, const std::string& className, const std::string& whereJson,
                 int count, int timeoutSeconds = 60);
    /// Waits for the process (it ends by itself after its events or its timeout).
    ~PeerListener();
    PeerListener(const PeerListener&) = delete;
    PeerListener& operator=(const PeerListener&) = delete;

    /// Waits until the peer's subscription stands.
    bool waitUntilSubscribed();
    /// Lines printed so far (stdout and stderr together).
    [[nodiscard]] const Collector<std::string>& lines() const { return lines_; }

private:
    Collector<std::string> lines_;
    FILE* pipe_ = nullptr;
    std::thread reader_;
};

}  // namespace vantrel::test
