#include "support/BackendFakeHttpServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vantrel::test {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        default: return "Status";
    }
}

bool sendAll(int fd, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const auto n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FakeHttpServer::FakeHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("fake HTTP server: cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe(wakePipe_) != 0) throw std::runtime_error("fake HTTP server: no pipe");
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeHttpServer::~FakeHttpServer() {
    // Writing to the pipe wakes the acceptor and every connection (all poll it).
    const char byte = 'x';
    [[maybe_unused]] auto n = ::write(wakePipe_[1], &byte, 1);
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& thread : connections) thread.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

std::string FakeHttpServer::url() const { return "http://127.0.0.1:" + std::to_string(port_); }

void FakeHttpServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::vector<FakeHttpRequest> FakeHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool FakeHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return requestArrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::size_t FakeHttpServer::connectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

std::string FakeHttpServer::response(int status, const std::string& body, const std::string& contentType,
                                     const std::map<std::string, std::string>& headers) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
    out += "\r\n" + body;
    return out;
}

void FakeHttpServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeHttpServer::serve(int fd) {
    if (mode_.load() == Mode::plainGreeting) {
        sendAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        return;
    }
    std::string buffer;
    // Reads until `ready` holds; false when the peer closed or the server stops.
    auto readMore = [&]() -> bool {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) return false;
        if (fds[1].revents) return false;
        char chunk[16384];
        const auto n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    };
    for (;;) {
        std::size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos)
            if (!readMore()) goto done;
        {
            FakeHttpRequest request;
            const std::string head = buffer.substr(0, headEnd);
            std::size_t lineEnd = head.find("\r\n");
            const std::string first = head.substr(0, lineEnd);
            const auto space1 = first.find(' ');
            const auto space2 = first.find(' ', space1 + 1);
            request.method = first.substr(0, space1);
            request.target = first.substr(space1 + 1, space2 - space1 - 1);
            std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
            while (pos < head.size()) {
                auto end = head.find("\r\n", pos);
                if (end == std::string::npos) end = head.size();
                const std::string line = head.substr(pos, end - pos);
                const auto colon = line.find(':');
                if (colon != std::string::npos) {
                    std::string value = line.substr(colon + 1);
                    value.erase(0, value.find_first_not_of(' '));
                    request.headers[lower(line.substr(0, colon))] = value;
                }
                pos = end + 2;
            }
            std::size_t length = 0;
            if (auto it = request.headers.find("content-length"); it != request.headers.end())
                length = static_cast<std::size_t>(std::stoul(it->second));
            buffer.erase(0, headEnd + 4);
            while (buffer.size() < length)
                if (!readMore()) goto done;
            request.body = buffer.substr(0, length);
            buffer.erase(0, length);

            Handler handler;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                handler = handler_;
            }
            requestArrived_.notify_all();
            const Mode mode = mode_.load();
            if (mode == Mode::silent) {
                // Hold the connection open without a word until the client gives up.
                while (readMore()) {
                }
                goto done;
            }
            const std::string answer =
                handler ? handler(request) : response(404, R"({"code":119,"error":"no handler"})");
            if (mode == Mode::closeMidResponse) {
                const auto split = answer.find("\r\n\r\n") + 4;
                const auto bodyLength = answer.size() - split;
                sendAll(fd, answer.substr(0, split + bodyLength / 2));
                goto done;
            }
            if (!sendAll(fd, answer)) goto done;
        }
    }
done:
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

}  // namespace vantrel::test
