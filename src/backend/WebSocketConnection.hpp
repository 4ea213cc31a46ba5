#pragma once

#include "backend/LiveQueryProtocol.hpp"
#include "vantrel/core/Error.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace vantrel::backend_detail {

/// One WebSocket connection (TLS or plain) on an io_context, driven by that context's single
/// thread: every method must be called there, and every callback runs there.
///
/// The callbacks fire at most once each for `onOpen` and `onClosed`; after `close()` none fires.
class WebSocketConnection {
public:
    struct Callbacks {
        std::function<void()> onOpen;
        std::function<void(std::string text)> onMessage;
        /// The connection failed or ended; the error says why (Parse domain, transport codes).
        std::function<void(Error reason)> onClosed;
    };
    struct Limits {
        std::chrono::milliseconds connect{15000};
        std::chrono::milliseconds idle{30000};
        /// Largest message read; a longer one closes the connection ("size") before it is kept.
        std::size_t maximumMessageBytes = std::size_t{16} << 20;
    };

    virtual ~WebSocketConnection() = default;

    /// A connection to `endpoint`; `tls` must be given for a TLS endpoint.
    static std::shared_ptr<WebSocketConnection> create(boost::asio::io_context& io, const WebSocketEndpoint& endpoint,
                                                       boost::asio::ssl::context* tls, Limits limits,
                                                       Callbacks callbacks);

    /// Resolves, connects, handshakes, then reads until the connection ends.
    virtual void start() = 0;
    /// Queues a text frame.
    virtual void send(std::string text) = 0;
    /// Ends the connection (a close frame when open) without calling back.
    virtual void close() = 0;
};

}  // namespace vantrel::backend_detail
