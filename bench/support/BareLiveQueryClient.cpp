#include "support/BareLiveQueryClient.hpp"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <optional>
#include <thread>

namespace vantrel_bench {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using nlohmann::json;

struct BareLiveQueryClient::State {
    asio::io_context io;
    asio::ssl::context tls{asio::ssl::context::tls_client};
    websocket::stream<beast::ssl_stream<beast::tcp_stream>> socket{io, tls};
    CreatedBlock created;
    std::thread reader;
    std::atomic<bool> closing{false};

    // The next frame as JSON, its arrival time in `arrived`; none when the connection ended.
    std::optional<json> read(beast::flat_buffer& buffer, Clock::time_point* arrived = nullptr) {
        beast::error_code ec;
        buffer.clear();
        socket.read(buffer, ec);
        if (arrived) *arrived = Clock::now();
        if (ec) return std::nullopt;
        return json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
    }
};

std::unique_ptr<BareLiveQueryClient> BareLiveQueryClient::open(const std::string& server, const std::string& caFile,
                                                               const std::string& applicationId,
                                                               const std::string& clientKey,
                                                               const std::string& className, const std::string& app,
                                                               CreatedBlock created) {
    const auto slash = server.find('/');
    const auto hostAndPort = server.substr(0, slash);
    const auto target = slash == std::string::npos ? std::string("/") : server.substr(slash);
    const auto colon = hostAndPort.rfind(':');
    const auto host = hostAndPort.substr(0, colon);
    const auto port = colon == std::string::npos ? std::string("443") : hostAndPort.substr(colon + 1);

    auto state = std::make_unique<State>();
    state->created = std::move(created);
    beast::error_code ec;
    state->tls.load_verify_file(caFile, ec);
    if (ec) return nullptr;
    auto& lowest = beast::get_lowest_layer(state->socket);
    lowest.expires_after(std::chrono::seconds(10));
    asio::ip::tcp::resolver resolver(state->io);
    const auto endpoints = resolver.resolve(host, port, ec);
    if (ec) return nullptr;
    lowest.connect(endpoints, ec);
    if (ec) return nullptr;
    lowest.socket().set_option(asio::ip::tcp::no_delay(true));
    auto& tlsStream = state->socket.next_layer();
    SSL_set_tlsext_host_name(tlsStream.native_handle(), host.c_str());
    tlsStream.set_verify_mode(asio::ssl::verify_peer);
    tlsStream.set_verify_callback(asio::ssl::host_name_verification(host));
    tlsStream.handshake(asio::ssl::stream_base::client, ec);
    if (ec) return nullptr;
    state->socket.handshake(hostAndPort, target, ec);
    if (ec) return nullptr;
    state->socket.text(true);

    beast::flat_buffer buffer;
    state->socket.write(
        asio::buffer(json{{"op", "connect"}, {"applicationId", applicationId}, {"clientKey", clientKey}}.dump()), ec);
    if (ec || state->read(buffer).value_or(json::object()).value("op", "") != "connected") return nullptr;
    const json subscribe = {
        {"op", "subscribe"}, {"requestId", 1}, {"query", {{"className", className}, {"where", {{"app", app}}}}}};
    state->socket.write(asio::buffer(subscribe.dump()), ec);
    if (ec || state->read(buffer).value_or(json::object()).value("op", "") != "subscribed") return nullptr;
    lowest.expires_never();

    auto* raw = state.get();
    state->reader = std::thread([raw] {
        beast::flat_buffer frames;
        while (!raw->closing) {
            Clock::time_point arrived;
            const auto frame = raw->read(frames, &arrived);
            if (!frame) return;
            if (!frame->is_object() || frame->value("op", "") != "create") continue;
            const auto object = frame->find("object");
            if (object == frame->end() || !object->is_object()) continue;
            raw->created(arrived, object->value("version", ""));
        }
    });
    return std::unique_ptr<BareLiveQueryClient>(new BareLiveQueryClient(std::move(state)));
}

BareLiveQueryClient::BareLiveQueryClient(std::unique_ptr<State> state) : state_(std::move(state)) {}

BareLiveQueryClient::~BareLiveQueryClient() {
    state_->closing = true;
    // Ending the socket ends the reader's blocking read.
    beast::error_code ec;
    beast::get_lowest_layer(state_->socket).socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    if (state_->reader.joinable()) state_->reader.join();
}

}  // namespace vantrel_bench
