// Memory held by one REST call answered with 1 GB: a broken or hostile server must not be able to
// grow the process. A server thread in this process streams the answer from one small buffer, so
// what the process's peak resident size gains (VmHWM in /proc/self/status) is the client's.
//
// Counters, each the gain of the peak in MB over the resident size before the call:
//  - declared_mb: the answer declares its length of 1 GB (refused before its body arrives);
//  - undeclared_mb: no length, the connection's end closes it (cut while it arrives);
//  - error_body_mb: the same without a length, as the body of an HTTP 400;
//  - mb_received: how far the undeclared answer got before the client stopped it.
// Goal: each gain within a few tens of MB (the limit is 32 MB by default).

#include "support/BenchBackend.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseQuery.hpp"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using vantrel_bench::peakResidentBytes;
using vantrel_bench::restartResidentPeak;

constexpr std::int64_t kAnswerBytes = std::int64_t{1} << 30;

/// One connection at a time on 127.0.0.1: reads the request head, answers with a head of the
/// given status (with or without Content-Length) and 1 GB of JSON string from a 64 KB buffer.
class StreamingServer {
public:
    StreamingServer() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StreamingServer() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/parse"; }
    void answerWith(int status, bool declared) {
        status_ = status;
        declared_ = declared;
    }
    std::int64_t lastSent() const { return sent_; }

private:
    void serve() {
        const std::string chunk(64 * 1024, 'a');
        while (!stopping_) {
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0) return;
            std::string head;
            char c;
            while (head.find("\r\n\r\n") == std::string::npos && ::read(fd, &c, 1) == 1) head.push_back(c);
            // Skip the request body (its length is in the head).
            if (auto at = head.find("Content-Length: "); at != std::string::npos) {
                std::int64_t left = std::stoll(head.substr(at + 16));
                char buffer[4096];
                while (left > 0) {
                    const auto n = ::read(fd, buffer, std::min<std::int64_t>(left, sizeof buffer));
                    if (n <= 0) break;
                    left -= n;
                }
            }
            const std::string prefix = R"({"results":[],"padding":")";
            std::string answer =
                "HTTP/1.1 " + std::to_string(status_.load()) + " X\r\nContent-Type: application/json\r\n";
            answer += declared_ ? "Content-Length: " + std::to_string(kAnswerBytes) + "\r\n" : "Connection: close\r\n";
            answer += "\r\n" + prefix;
            std::int64_t sent = 0;
            bool open = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) > 0;
            sent += static_cast<std::int64_t>(prefix.size());
            while (open && sent < kAnswerBytes) {
                const auto n =
                    ::send(fd, chunk.data(), std::min<std::int64_t>(chunk.size(), kAnswerBytes - sent), MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += n;
            }
            sent_ = sent;
            ::close(fd);
        }
    }

    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> status_{200};
    std::atomic<bool> declared_{true};
    std::atomic<std::int64_t> sent_{0};
    std::thread thread_;
};

std::optional<vantrel::Error> findOnce() {
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<vantrel::OptionalError> outcome;
    vantrel::ParseQuery("Thing").findInBackground([&](auto, vantrel::OptionalError error) {
        std::lock_guard lock(mutex);
        outcome = std::move(error);
        ready.notify_all();
    });
    std::unique_lock lock(mutex);
    ready.wait(lock, [&] { return outcome.has_value(); });
    return *outcome;
}

void BM_OneGigabyteRestAnswer(benchmark::State& state) {
    StreamingServer server;
    vantrel::ParseClientConfiguration configuration;
    configuration.server = server.url();
    configuration.applicationId = "bench";
    configuration.requestTimeout = std::chrono::minutes(5);
    configuration.persistenceDirectory = (std::filesystem::temp_directory_path() / "vantrel-bench-memory").string();
    vantrel::Parse::initialize(configuration);

    const auto gainOf = [&](int status, bool declared) {
        server.answerWith(status, declared);
        const auto before = restartResidentPeak();
        const auto error = findOnce();
        if (!error || error->userInfo.value("transport", "") != "size")
            state.SkipWithError("the answer was not refused for its size");
        return static_cast<double>(peakResidentBytes() - before) / (1 << 20);
    };
    for (auto _ : state) {
        state.counters["declared_mb"] = gainOf(200, true);
        state.counters["undeclared_mb"] = gainOf(200, false);
        state.counters["mb_received"] = static_cast<double>(server.lastSent()) / (1 << 20);
        state.counters["error_body_mb"] = gainOf(400, false);
    }
}
BENCHMARK(BM_OneGigabyteRestAnswer)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
