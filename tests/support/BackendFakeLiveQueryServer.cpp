#include "support/BackendFakeLiveQueryServer.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vantrel::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

namespace {

class Session;

}  // namespace

struct FakeLiveQueryServer::State {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{asio::make_work_guard(io)};
    tcp::acceptor acceptor{io};
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<json> frames;
    std::size_t connections = 0;
    int silentConnections = 0;
    std::optional<json> refusal;

    // I/O thread only.
    std::vector<std::shared_ptr<Session>> sessions;  // held, so that a silent session stays open

    void record(const json& frame) {
        {
            std::lock_guard lock(mutex);
            frames.push_back(frame);
        }
        changed.notify_all();
    }
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, FakeLiveQueryServer::State& state, bool silent)
        : ws_(std::move(socket)), state_(state), silent_(silent) {}

    void start() {
        auto self = shared_from_this();
        ws_.async_accept([self](const beast::error_code& ec) {
            if (ec) return;
            self->ws_.text(true);
            self->open_ = true;
            self->read();
            if (!self->outbox_.empty() && !self->writing_) self->writeNext();
        });
    }

    // Frames wait for the end of the handshake: the client can see the handshake's answer before
    // its completion reaches this thread, and a stream written to before that is not yet a server's
    // (its frames would go out masked).
    void send(const json& frame) {
        outbox_.push_back(frame.dump());
        if (open_ && !writing_) writeNext();
    }

    void drop() {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

private:
    void read() {
        auto self = shared_from_this();
        ws_.async_read(buffer_, [self](const beast::error_code& ec, std::size_t) {
            if (ec) return;
            const json frame = json::parse(beast::buffers_to_string(self->buffer_.data()), nullptr, false);
            self->buffer_.consume(self->buffer_.size());
            self->state_.record(frame);
            self->answer(frame);
            if (self->silent_ && frame.value("op", "") == "connect") return;  // stop reading for good
            self->read();
        });
    }

    void answer(const json& frame) {
        const auto op = frame.value("op", "");
        if (op == "connect") {
            std::optional<json> refusal;
            {
                std::lock_guard lock(state_.mutex);
                refusal.swap(state_.refusal);
            }
            send(refusal ? *refusal : json{{"op", "connected"}, {"clientId", "fake-client"}});
        } else if (op == "subscribe") {
            send({{"op", "subscribed"}, {"clientId", "fake-client"}, {"requestId", frame.value("requestId", 0)}});
        } else if (op == "unsubscribe") {
            send({{"op", "unsubscribed"}, {"clientId", "fake-client"}, {"requestId", frame.value("requestId", 0)}});
        }
    }

    void writeNext() {
        writing_ = true;
        auto self = shared_from_this();
        ws_.async_write(asio::buffer(outbox_.front()), [self](const beast::error_code& ec, std::size_t) {
            self->writing_ = false;
            if (ec) return;
            self->outbox_.pop_front();
            if (!self->outbox_.empty()) self->writeNext();
        });
    }

    websocket::stream<beast::tcp_stream> ws_;
    FakeLiveQueryServer::State& state_;
    bool silent_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    bool open_ = false;
    bool writing_ = false;
};

void acceptNext(const std::shared_ptr<FakeLiveQueryServer::State>& state) {
    std::weak_ptr<FakeLiveQueryServer::State> weak = state;
    state->acceptor.async_accept([weak](const beast::error_code& ec, tcp::socket socket) {
        auto s = weak.lock();
        if (!s || ec) return;
        bool silent = false;
        {
            std::lock_guard lock(s->mutex);
            ++s->connections;
            if (s->silentConnections > 0) {
                --s->silentConnections;
                silent = true;
            }
        }
        s->changed.notify_all();
        auto session = std::make_shared<Session>(std::move(socket), *s, silent);
        s->sessions.push_back(session);
        session->start();
        acceptNext(s);
    });
}

}  // namespace

FakeLiveQueryServer::FakeLiveQueryServer() : state_(std::make_shared<State>()) {
    tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    state_->acceptor.open(endpoint.protocol());
    state_->acceptor.bind(endpoint);
    state_->acceptor.listen();
    acceptNext(state_);
    state_->thread = std::thread([state = state_.get()] { state->io.run(); });
}

FakeLiveQueryServer::~FakeLiveQueryServer() {
    asio::post(state_->io, [state = state_.get()] {
        beast::error_code ignored;
        state->acceptor.close(ignored);
        for (auto& session : state->sessions) session->drop();
        state->sessions.clear();
        state->io.stop();
    });
    state_->thread.join();
}

std::string FakeLiveQueryServer::url() const {
    return "ws://127.0.0.1:" + std::to_string(state_->acceptor.local_endpoint().port()) + "/parse";
}

std::vector<json> FakeLiveQueryServer::frames() const {
    std::lock_guard lock(state_->mutex);
    return state_->frames;
}

bool FakeLiveQueryServer::waitForOp(const std::string& op, std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const auto& frame : state_->frames)
            if (frame.is_object() && frame.value("op", "") == op) ++seen;
        return seen >= count;
    });
}

bool FakeLiveQueryServer::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->connections >= count; });
}

std::size_t FakeLiveQueryServer::connectionCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->connections;
}

void FakeLiveQueryServer::send(const json& frame) {
    asio::post(state_->io, [state = state_.get(), frame] {
        for (auto& session : state->sessions) session->send(frame);
    });
}

void FakeLiveQueryServer::dropConnections() {
    asio::post(state_->io, [state = state_.get()] {
        for (auto& session : state->sessions) session->drop();
        state->sessions.clear();
    });
}

void FakeLiveQueryServer::goSilentAfterConnect(int count) {
    std::lock_guard lock(state_->mutex);
    state_->silentConnections = count;
}

void FakeLiveQueryServer::refuseNextConnect(json errorFrame) {
    std::lock_guard lock(state_->mutex);
    state_->refusal = std::move(errorFrame);
}

}  // namespace vantrel::test
