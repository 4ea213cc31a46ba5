#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"

#include <chrono>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vantrel {

/// Timing of a LiveQueryClient.
struct LiveQueryClientOptions {
    /// Limit for TCP, TLS and WebSocket handshakes together.
    std::chrono::milliseconds connectTimeout{15000};
    /// A connection that receives nothing for this long is dead; a ping goes out at half of it,
    /// so a live server always answers in time.
    std::chrono::milliseconds idleTimeout{30000};
    /// Reconnect back-off: the first delay, doubled on each failed attempt up to `backoffCap`;
    /// each delay is drawn at random between its half and its whole (jitter, so that many
    /// clients do not come back at the same instant).
    std::chrono::milliseconds backoffBase{500};
    std::chrono::milliseconds backoffCap{30000};
};

/// The connection states of a LiveQueryClient.
enum class LiveQueryState {
    /// Not connected, and nothing asked for a connection yet.
    idle,
    /// Opening the connection.
    connecting,
    /// Connected, subscriptions sent.
    connected,
    /// The connection was lost; a reconnect is scheduled.
    waitingToReconnect,
    /// Disconnected on request (or refused by the server for good) until `reconnect`.
    disconnected,
};

/// A client of the backend's LiveQuery server over WebSocket (wss://, or ws:// for tests).
///
/// It connects on the first subscription, sends the current user's session token, subscribes
/// every query and delivers the server's events to the subscriptions' handlers on its own
/// delivery thread. Lost connections are noticed (reads fail, or pings go unanswered for
/// `idleTimeout`) and re-opened after a capped, jittered back-off measured on the library clock
/// (`vantrel::Clock`, so tests can drive it); every live subscription is sent again after a
/// reconnect. Nothing blocks the caller; all methods are thread-safe.
class LiveQueryClient {
public:
    /// A client of `server` ("wss://host:port/path"). `trustedCertificatesFile` adds authorities
    /// to the system's for the TLS handshake; verification is always on.
    LiveQueryClient(std::string server, std::string applicationId, std::string clientKey = {},
                    std::string trustedCertificatesFile = {}, LiveQueryClientOptions options = {});
    /// Closes the connection and stops the client's threads.
    ~LiveQueryClient();
    LiveQueryClient(const LiveQueryClient&) = delete;
    LiveQueryClient& operator=(const LiveQueryClient&) = delete;

    /// The process-wide client, none until `setShared`.
    static std::shared_ptr<LiveQueryClient> shared();
    /// Installs the process-wide client.
    static void setShared(std::shared_ptr<LiveQueryClient> client);

    /// Subscribes to `query`; objects of its events are made through the class registry.
    std::shared_ptr<Subscription> subscribe(const ParseQuery& query);
    /// Subscribes to `query`; objects of its events are made by `factory` when its class is the
    /// query's.
    std::shared_ptr<Subscription> subscribe(const ParseQuery& query, ParseObjectFactory factory);
    /// Subscribes to `query` with events' objects made as `T`.
    // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    std::shared_ptr<Subscription> subscribe(const ParseQuery& query) {
        // clang-format on
        return subscribe(query, [] { return std::static_pointer_cast<ParseObject>(std::make_shared<T>()); });
    }
    /// Ends every subscription whose query equals `query`.
    void unsubscribe(const ParseQuery& query);
    /// Ends `subscription`.
    void unsubscribe(const std::shared_ptr<Subscription>& subscription);

    /// Opens a new connection now (closing the current one) and re-subscribes everything.
    void reconnect();
    /// Closes the connection and stays disconnected (subscriptions are kept for `reconnect`).
    void disconnect();
    /// True after `disconnect` (or a refusal the server marks final) until `reconnect`.
    [[nodiscard]] bool isDisconnected() const;
    /// True while connected and acknowledged by the server.
    [[nodiscard]] bool isConnected() const;
    /// The current state.
    [[nodiscard]] LiveQueryState state() const;
    /// Called on the client's delivery thread with each new state.
    void setStateHandler(std::function<void(LiveQueryState)> handler);
    /// Connections the server acknowledged so far (a reconnect adds one).
    [[nodiscard]] std::uint64_t connectionCount() const;
    /// Subscriptions held now.
    [[nodiscard]] std::size_t subscriptionCount() const;

    /// Logs connection events (open, close, errors, reconnect delays) at info level.
    void setShouldPrintWebSocketLog(bool enabled);
    /// Logs every frame sent and received at debug level.
    void setShouldPrintWebSocketTrace(bool enabled);

private:
    std::shared_ptr<class LiveQueryClientImpl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
