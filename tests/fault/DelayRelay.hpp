#pragma once

// A TCP relay on the loopback that holds every chunk of bytes for a fixed time before passing it
// on, in both directions and in order: a link with that one-way latency, for kernels without
// netem. TLS passes through untouched (the relay never looks at the bytes).

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel::test {

class DelayRelay {
public:
    /// Listens on a free loopback port and relays each connection to 127.0.0.1:`targetPort`.
    DelayRelay(int targetPort, std::chrono::milliseconds delay);
    /// Closes every connection and stops its threads.
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    /// The port clients connect to.
    [[nodiscard]] int port() const { return port_; }

private:
    struct Link;
    void acceptLoop();

    int targetPort_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::shared_ptr<Link>> links_;
    std::thread acceptor_;
};

}  // namespace vantrel::test
