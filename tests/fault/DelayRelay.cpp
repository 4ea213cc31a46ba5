#include "DelayRelay.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <stdexcept>
#include <string>

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

// One direction of one connection: a reader that stamps each chunk with the time it may leave, and
// a writer that sends it then. An empty chunk stands for the end of the stream.
struct Direction {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<Clock::time_point, std::string>> queue;
    bool closed = false;
};

struct DelayRelay::Link {
    int client = -1;
    int server = -1;
    Direction up;    // client to server
    Direction down;  // server to client
    std::vector<std::thread> threads;

    void shutdownBoth() const {
        ::shutdown(client, SHUT_RDWR);
        ::shutdown(server, SHUT_RDWR);
    }
};

namespace {

void readInto(int from, Direction& direction, std::chrono::milliseconds delay) {
    char buffer[16384];
    for (;;) {
        const auto n = ::recv(from, buffer, sizeof buffer, 0);
        std::lock_guard lock(direction.mutex);
        direction.queue.emplace_back(Clock::now() + delay, n > 0 ? std::string(buffer, static_cast<std::size_t>(n))
                                                                 : std::string());
        direction.changed.notify_all();
        if (n <= 0) return;
    }
}

void writeFrom(Direction& direction, int to, int other) {
    std::unique_lock lock(direction.mutex);
    for (;;) {
        direction.changed.wait(lock, [&] { return direction.closed || !direction.queue.empty(); });
        if (direction.closed) return;
        const auto due = direction.queue.front().first;
        if (direction.changed.wait_until(lock, due, [&] { return direction.closed; })) return;
        auto chunk = std::move(direction.queue.front().second);
        direction.queue.pop_front();
        lock.unlock();
        const bool end = chunk.empty();
        if (end || !writeAll(to, chunk)) {
            // The end of one side's stream ends the whole connection, as a dropped link would.
            ::shutdown(to, SHUT_RDWR);
            ::shutdown(other, SHUT_RDWR);
            return;
        }
        lock.lock();
    }
}

void close(Direction& direction) {
    std::lock_guard lock(direction.mutex);
    direction.closed = true;
    direction.changed.notify_all();
}

}  // namespace

DelayRelay::DelayRelay(int targetPort, std::chrono::milliseconds delay) : targetPort_(targetPort), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    auto address = loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the delay relay cannot listen on the loopback");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

DelayRelay::~DelayRelay() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    std::lock_guard lock(mutex_);
    for (const auto& link : links_) {
        link->shutdownBoth();
        close(link->up);
        close(link->down);
        for (auto& thread : link->threads) thread.join();
        ::close(link->client);
        ::close(link->server);
    }
}

void DelayRelay::acceptLoop() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 100) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto target = loopback(targetPort_);
        if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            ::close(client);
            if (server >= 0) ::close(server);
            continue;
        }
        auto link = std::make_shared<Link>();
        link->client = client;
        link->server = server;
        Link* l = link.get();
        const auto delay = delay_;
        link->threads.emplace_back([l, delay] { readInto(l->client, l->up, delay); });
        link->threads.emplace_back([l] { writeFrom(l->up, l->server, l->client); });
        link->threads.emplace_back([l, delay] { readInto(l->server, l->down, delay); });
        link->threads.emplace_back([l] { writeFrom(l->down, l->client, l->server); });
        std::lock_guard lock(mutex_);
        links_.push_back(std::move(link));
    }
}

}  // namespace vantrel::test
