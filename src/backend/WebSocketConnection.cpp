#include "backend/WebSocketConnection.hpp"

#include "vantrel/backend/ParseError.hpp"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <deque>
#include <type_traits>

namespace vantrel::backend_detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

// What the read buffer keeps between messages; a larger message's room is given back.
constexpr std::size_t kKeptBufferBytes = 1 << 20;
constexpr std::size_t kReadPieceBytes = 64 * 1024;

Error connectionError(const char* stage, const beast::error_code& ec) {
    const bool timedOut = ec == beast::error::timeout || ec == asio::error::timed_out;
    const bool tls = std::string_view(stage) == "tls" || ec.category() == asio::error::get_ssl_category();
    const std::string_view named(stage);
    const char* kind = timedOut             ? "timeout"
                       : tls                ? "tls"
                       : named == "connect" ? "connect"
                       : named == "size"    ? "size"
                                            : "io";
    const long code = timedOut ? ParseErrorCode::timeout : ParseErrorCode::connectionFailed;
    return makeParseError(code, std::string("LiveQuery connection failed (") + stage + "): " + ec.message(),
                          {{"transport", kind}});
}

template <bool Tls>
class BasicConnection final : public WebSocketConnection, public std::enable_shared_from_this<BasicConnection<Tls>> {
    using Lowest = beast::tcp_stream;
    using Next = std::conditional_t<Tls, beast::ssl_stream<Lowest>, Lowest>;
    using Stream = websocket::stream<Next>;

public:
    BasicConnection(asio::io_context& io, WebSocketEndpoint endpoint, asio::ssl::context* tls, Limits limits,
                    Callbacks callbacks)
        : resolver_(io), endpoint_(std::move(endpoint)), limits_(limits), callbacks_(std::move(callbacks)) {
        if constexpr (Tls)
            stream_ = std::make_unique<Stream>(io, *tls);
        else
            stream_ = std::make_unique<Stream>(io);
    }

    void start() override {
        auto self = this->shared_from_this();
        resolver_.async_resolve(endpoint_.host, endpoint_.port,
                                [self](const beast::error_code& ec, const tcp::resolver::results_type& results) {
                                    self->onResolved(ec, results);
                                });
    }

    void send(std::string text) override {
        if (closed_) return;
        outbox_.push_back(std::move(text));
        if (open_ && !writing_) writeNext();
    }

    void close() override {
        if (closed_) return;
        closed_ = true;
        resolver_.cancel();
        if (open_) {
            // The close handshake is bounded by the stream's own timeout option.
            auto self = this->shared_from_this();
            stream_->async_close(websocket::close_code::normal, [self](const beast::error_code&) {
                beast::error_code ignored;
                beast::get_lowest_layer(*self->stream_).socket().close(ignored);
            });
        } else {
            beast::get_lowest_layer(*stream_).close();
        }
    }

private:
    void onResolved(const beast::error_code& ec, const tcp::resolver::results_type& results) {
        if (closed_) return;
        if (ec) return fail("resolve", ec);
        beast::get_lowest_layer(*stream_).expires_after(limits_.connect);
        auto self = this->shared_from_this();
        beast::get_lowest_layer(*stream_).async_connect(
            results, [self](const beast::error_code& error, const tcp::endpoint&) { self->onConnected(error); });
    }

    void onConnected(const beast::error_code& ec) {
        if (closed_) return;
        if (ec) return fail("connect", ec);
        if constexpr (Tls) {
            auto& tls = stream_->next_layer();
            if (!SSL_set_tlsext_host_name(tls.native_handle(), endpoint_.host.c_str()))
                return fail("tls",
                            beast::error_code(static_cast<int>(::ERR_get_error()), asio::error::get_ssl_category()));
            tls.set_verify_mode(asio::ssl::verify_peer);
            tls.set_verify_callback(asio::ssl::host_name_verification(endpoint_.host));
            auto self = this->shared_from_this();
            tls.async_handshake(asio::ssl::stream_base::client, [self](const beast::error_code& error) {
                if (self->closed_) return;
                if (error) return self->fail("tls", error);
                self->upgrade();
            });
        } else {
            upgrade();
        }
    }

    void upgrade() {
        // From here on the WebSocket layer keeps time: handshake limit, idle limit and pings.
        beast::get_lowest_layer(*stream_).expires_never();
        websocket::stream_base::timeout timeout{};
        timeout.handshake_timeout = limits_.connect;
        timeout.idle_timeout = limits_.idle;
        timeout.keep_alive_pings = true;
        stream_->set_option(timeout);
        // The limit is enforced in readNext, where a message that outgrows it is told as such. Beast's
        // own limit fails the connection with a close handshake, and should that handshake meet a
        // reset (the server still sending), the read reports the reset instead of the size.
        stream_->read_message_max(0);
        stream_->set_option(websocket::stream_base::decorator([](websocket::request_type& request) {
            request.set(beast::http::field::user_agent, "vantrel-livequery/1");
        }));
        std::string host = endpoint_.host;
        if (host.find(':') != std::string::npos) host = "[" + host + "]";
        auto self = this->shared_from_this();
        stream_->async_handshake(host + ":" + endpoint_.port, endpoint_.target, [self](const beast::error_code& ec) {
            if (self->closed_) return;
            if (ec) return self->fail("handshake", ec);
            self->open_ = true;
            self->stream_->text(true);
            if (self->callbacks_.onOpen) self->callbacks_.onOpen();
            if (self->closed_) return;
            self->readNext();
            if (!self->outbox_.empty() && !self->writing_) self->writeNext();
        });
    }

    // Reads a message in pieces of at most kReadPieceBytes, so that it never takes more than its limit
    // and one piece, whatever length its frames announce.
    void readNext() {
        auto self = this->shared_from_this();
        stream_->async_read_some(buffer_, kReadPieceBytes, [self](const beast::error_code& ec, std::size_t) {
            if (self->closed_) return;
            if (ec) return self->fail("read", ec);
            if (self->buffer_.size() > self->limits_.maximumMessageBytes) {
                return self->fail("size", websocket::error::message_too_big);
            }
            if (!self->stream_->is_message_done()) return self->readNext();
            std::string text = beast::buffers_to_string(self->buffer_.data());
            self->buffer_.consume(self->buffer_.size());
            if (self->buffer_.capacity() > kKeptBufferBytes) self->buffer_.shrink_to_fit();  // one large message
            if (self->callbacks_.onMessage) self->callbacks_.onMessage(std::move(text));
            if (!self->closed_) self->readNext();
        });
    }

    void writeNext() {
        writing_ = true;
        auto self = this->shared_from_this();
        stream_->async_write(asio::buffer(outbox_.front()), [self](const beast::error_code& ec, std::size_t) {
            self->writing_ = false;
            if (self->closed_) return;
            if (ec) return self->fail("write", ec);
            self->outbox_.pop_front();
            if (!self->outbox_.empty()) self->writeNext();
        });
    }

    void fail(const char* stage, const beast::error_code& ec) {
        if (closed_) return;
        closed_ = true;
        beast::error_code ignored;
        beast::get_lowest_layer(*stream_).socket().close(ignored);
        if (callbacks_.onClosed) callbacks_.onClosed(connectionError(stage, ec));
    }

    tcp::resolver resolver_;
    std::unique_ptr<Stream> stream_;
    WebSocketEndpoint endpoint_;
    Limits limits_;
    Callbacks callbacks_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    bool open_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace

std::shared_ptr<WebSocketConnection> WebSocketConnection::create(asio::io_context& io,
                                                                 const WebSocketEndpoint& endpoint,
                                                                 asio::ssl::context* tls, Limits limits,
                                                                 Callbacks callbacks) {
    if (endpoint.tls) {
        if (!tls) return nullptr;
        return std::make_shared<BasicConnection<true>>(io, endpoint, tls, limits, std::move(callbacks));
    }
    return std::make_shared<BasicConnection<false>>(io, endpoint, nullptr, limits, std::move(callbacks));
}

}  // namespace vantrel::backend_detail
