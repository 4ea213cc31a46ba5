#pragma once

// A scripted HTTP/1.1 server on 127.0.0.1 for transport tests: it answers through a handler, or
// misbehaves on purpose (never answers, closes mid-response).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::test {

struct FakeHttpRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

class FakeHttpServer {
public:
    enum class Mode {
        /// Answers every request with the handler's raw response.
        respond,
        /// Accepts, reads the request and never answers (a hung server).
        silent,
        /// Sends the head and half the body of the handler's response, then closes.
        closeMidResponse,
        /// Writes a plain-text line as soon as a client connects, then closes: what a TLS
        /// client meets when it talks to a server that does not speak TLS.
        plainGreeting,
    };
    using Handler = std::function<std::string(const FakeHttpRequest&)>;

    explicit FakeHttpServer(Handler handler = {});
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    /// "http://127.0.0.1:<port>".
    [[nodiscard]] std::string url() const;
    [[nodiscard]] int port() const { return port_; }
    void setMode(Mode mode) { mode_ = mode; }
    void setHandler(Handler handler);
    /// Requests received so far.
    [[nodiscard]] std::vector<FakeHttpRequest> requests() const;
    /// Waits until `count` requests have arrived (false when `timeout` passes first): a client's
    /// answer may be complete while requests it no longer needs are still on their way.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    /// TCP connections accepted so far.
    [[nodiscard]] std::size_t connectionCount() const;

    /// A raw response with Content-Length.
    static std::string response(int status, const std::string& body,
                                const std::string& contentType = "application/json",
                                const std::map<std::string, std::string>& headers = {});

private:
    void acceptLoop();
    void serve(int fd);

    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<Mode> mode_{Mode::respond};
    mutable std::mutex mutex_;
    mutable std::condition_variable requestArrived_;
    Handler handler_;
    std::vector<FakeHttpRequest> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace vantrel::test
