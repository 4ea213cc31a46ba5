#include "vantrel/backend/LiveQueryClient.hpp"

#include "backend/Backoff.hpp"
#include "backend/GlobalInit.hpp"
#include "backend/LiveQueryProtocol.hpp"
#include "backend/WebSocketConnection.hpp"
#include "backend/WorkerPool.hpp"
#include "core/LogRedaction.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace vantrel {

namespace asio = boost::asio;
using backend_detail::ServerMessage;
using backend_detail::WebSocketConnection;

namespace {

const char* stateName(LiveQueryState state) {
    switch (state) {
        case LiveQueryState::idle: return "idle";
        case LiveQueryState::connecting: return "connecting";
        case LiveQueryState::connected: return "connected";
        case LiveQueryState::waitingToReconnect: return "waiting to reconnect";
        case LiveQueryState::disconnected: return "disconnected";
    }
    return "?";
}

// Built on first use, after the transport libraries (see GlobalInit.hpp).
struct SharedClient {
    SharedClient() { backend_detail::initializeTransportLibraries(); }
    std::mutex mutex;
    std::shared_ptr<LiveQueryClient> client;
};

SharedClient& sharedSlot() {
    // Never destroyed: the client's exit stop ends its threads, and they may reach the slot until then.
    static auto* slot = new SharedClient();
    return *slot;
}

}  // namespace

/// The client's machinery. Connection state lives on the I/O thread (one io_context run by one
/// thread, so handlers never run concurrently); callers reach it by posting. What callers read
/// directly is atomic. Handlers of subscriptions run on the delivery thread, in order.
class LiveQueryClientImpl : public std::enable_shared_from_this<LiveQueryClientImpl> {
public:
    LiveQueryClientImpl(std::string server, std::string applicationId, std::string clientKey, std::string caFile,
                        LiveQueryClientOptions options)
        : server_(std::move(server)),
          applicationId_(std::move(applicationId)),
          clientKey_(std::move(clientKey)),
          options_(options),
          tls_(asio::ssl::context::tls_client),
          work_(asio::make_work_guard(io_)),
          random_(std::random_device{}()) {
        backend_detail::initializeTransportLibraries();
        endpoint_ = backend_detail::parseWebSocketUrl(server_);
        boost::system::error_code ec;
        tls_.set_default_verify_paths(ec);
        if (!caFile.empty()) {
            tls_.load_verify_file(caFile, ec);
            if (ec) VLOG_ERROR("LiveQuery: cannot read the trusted certificates " + caFile + ": " + ec.message());
        }
        tls_.set_verify_mode(asio::ssl::verify_peer);
        thread_ = std::thread([this] {
            log::setCurrentThreadName("vantrel.livequery.io");
            io_.run();
        });
        // At exit the I/O thread ends and the handler being delivered finishes before the transport
        // libraries clean up.
        exitStop_.emplace([this] {
            shutdown();
            delivery_.waitUntilIdle();
        });
    }

    ~LiveQueryClientImpl() {
        exitStop_.reset();
        shutdown();
    }

    void shutdown() {
        if (!thread_.joinable()) return;
        asio::post(io_, [this] {
            ++generation_;
            if (connection_) connection_->close();
            connection_.reset();
            io_.stop();
        });
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }

    // ---- called from any thread -------------------------------------------------------------

    std::shared_ptr<Subscription> subscribe(const ParseQuery& query, ParseObjectFactory factory) {
        std::weak_ptr<LiveQueryClientImpl> weak = weak_from_this();
        auto dispatcher = [weak](std::function<void()> work) {
            if (auto self = weak.lock()) self->deliver(std::move(work));
        };
        std::shared_ptr<Subscription> subscription(
            new Subscription(query, nextRequestId_.fetch_add(1), std::move(factory), std::move(dispatcher)));
        ++subscriptionCount_;
        onIo([subscription](LiveQueryClientImpl& self) {
            self.subscriptions_[subscription->requestId()] = subscription;
            const auto state = self.state_.load();
            if (state == LiveQueryState::connected)
                self.sendFrame(backend_detail::encodeSubscribe(subscription->requestId(), subscription->query(),
                                                               self.sessionToken()));
            else if (state == LiveQueryState::idle)
                self.openConnection();
        });
        return subscription;
    }

    void unsubscribeWhere(std::function<bool(const Subscription&)> matches) {
        onIo([matches = std::move(matches)](LiveQueryClientImpl& self) {
            for (auto it = self.subscriptions_.begin(); it != self.subscriptions_.end();) {
                if (!matches(*it->second)) {
                    ++it;
                    continue;
                }
                auto subscription = it->second;
                it = self.subscriptions_.erase(it);
                --self.subscriptionCount_;
                if (self.state_.load() == LiveQueryState::connected) {
                    self.unsubscribing_[subscription->requestId()] = subscription;
                    self.sendFrame(backend_detail::encodeUnsubscribe(subscription->requestId()));
                } else {
                    // No server to confirm it: the subscription simply ends here.
                    self.deliver([subscription] { subscription->deliverUnsubscribed(); });
                }
            }
        });
    }

    void reconnect() {
        userDisconnected_ = false;  // the caller wants a connection again
        onIo([](LiveQueryClientImpl& self) {
            self.closeConnection();
            self.attempt_ = 0;
            self.openConnection();
        });
    }

    void disconnect() {
        userDisconnected_ = true;
        onIo([](LiveQueryClientImpl& self) {
            self.closeConnection();
            self.setState(LiveQueryState::disconnected);
        });
    }

    void setStateHandler(std::function<void(LiveQueryState)> handler) {
        std::lock_guard lock(handlerMutex_);
        stateHandler_ = std::move(handler);
    }

    std::atomic<LiveQueryState> state_{LiveQueryState::idle};
    std::atomic<bool> userDisconnected_{false};
    std::atomic<std::uint64_t> connections_{0};
    std::atomic<std::size_t> subscriptionCount_{0};
    std::atomic<bool> log_{false};
    std::atomic<bool> trace_{false};

private:
    // Runs `work` on the I/O thread with the client, unless the client is gone by then.
    void onIo(std::function<void(LiveQueryClientImpl&)> work) {
        std::weak_ptr<LiveQueryClientImpl> weak = weak_from_this();
        asio::post(io_, [weak, work = std::move(work)] {
            if (auto self = weak.lock()) work(*self);
        });
    }

    void deliver(std::function<void()> work) { delivery_.post(std::move(work)); }

    void logInfo(const std::string& text) const {
        if (log_) VLOG_INFO("LiveQuery: " + text);
    }

    void setState(LiveQueryState state) {
        if (state_.exchange(state) == state) return;
        logInfo(std::string("state ") + stateName(state));
        std::function<void(LiveQueryState)> handler;
        {
            std::lock_guard lock(handlerMutex_);
            handler = stateHandler_;
        }
        if (handler) deliver([handler, state] { handler(state); });
    }

    std::optional<std::string> sessionToken() const {
        if (auto user = ParseUser::currentUser()) return user->sessionToken();
        return std::nullopt;
    }

    void sendFrame(std::string text) {
        if (!connection_) return;
        if (trace_) VLOG_DEBUG("LiveQuery sent: " + detail::loggableBody(text));
        connection_->send(std::move(text));
    }

    void closeConnection() {
        ++generation_;  // late callbacks and pending reconnect timers of the old connection are ignored
        if (connection_) connection_->close();
        connection_.reset();
    }

    void openConnection() {
        if (userDisconnected_) {
            setState(LiveQueryState::disconnected);
            return;
        }
        if (!endpoint_) {
            const auto error =
                makeParseError(ParseErrorCode::connectionFailed, "LiveQuery server URL is not usable: " + server_,
                               {{"transport", "connect"}});
            notifyAll(error);
            setState(LiveQueryState::disconnected);
            return;
        }
        const auto generation = ++generation_;
        std::weak_ptr<LiveQueryClientImpl> weak = weak_from_this();
        auto current = [weak, generation]() -> std::shared_ptr<LiveQueryClientImpl> {
            auto self = weak.lock();
            return self && self->generation_ == generation ? self : nullptr;
        };
        WebSocketConnection::Callbacks callbacks;
        callbacks.onOpen = [current] {
            if (auto self = current()) self->onOpen();
        };
        callbacks.onMessage = [current](std::string text) {
            if (auto self = current()) self->onMessage(text);
        };
        callbacks.onClosed = [current](Error reason) {
            if (auto self = current()) self->onConnectionLost(std::move(reason));
        };
        setState(LiveQueryState::connecting);
        logInfo("connecting to " + server_);
        connection_ =
            WebSocketConnection::create(io_, *endpoint_, endpoint_->tls ? &tls_ : nullptr,
                                        {options_.connectTimeout, options_.idleTimeout}, std::move(callbacks));
        connection_->start();
    }

    void onOpen() {
        logInfo("socket open, sending connect");
        sendFrame(backend_detail::encodeConnect(applicationId_, clientKey_, sessionToken()));
    }

    void onMessage(const std::string& text) {
        if (trace_) VLOG_DEBUG("LiveQuery received: " + detail::loggableBody(text));
        const auto message = backend_detail::parseServerMessage(text);
        if (!message) {
            VLOG_WARNING("LiveQuery: ignoring a frame that is not a LiveQuery message");
            return;
        }
        switch (message->op) {
            case ServerMessage::Op::connected: {
                attempt_ = 0;
                ++connections_;
                setState(LiveQueryState::connected);
                const auto token = sessionToken();
                for (const auto& [id, subscription] : subscriptions_)
                    sendFrame(backend_detail::encodeSubscribe(id, subscription->query(), token));
                return;
            }
            case ServerMessage::Op::subscribed:
                if (auto subscription = find(subscriptions_, message->requestId))
                    deliver([subscription] { subscription->deliverSubscribed(); });
                return;
            case ServerMessage::Op::unsubscribed:
                if (auto subscription = find(unsubscribing_, message->requestId)) {
                    unsubscribing_.erase(subscription->requestId());
                    deliver([subscription] { subscription->deliverUnsubscribed(); });
                }
                return;
            case ServerMessage::Op::error: {
                const auto error =
                    makeParseError(message->errorCode, message->error, {{"reconnect", message->reconnect}});
                VLOG_ERROR("LiveQuery: server error " + error.description());
                if (auto subscription = find(subscriptions_, message->requestId))
                    deliver([subscription, error] { subscription->deliverError(error); });
                else
                    notifyAll(error);
                if (!message->reconnect && !message->requestId) {
                    // A refusal of the connection itself (bad keys, say): trying again cannot help.
                    userDisconnected_ = true;
                    closeConnection();
                    setState(LiveQueryState::disconnected);
                }
                return;
            }
            case ServerMessage::Op::unknown: return;
            default: break;
        }
        const auto event = backend_detail::eventOf(message->op);
        auto subscription = find(subscriptions_, message->requestId);
        if (!event || !subscription) return;
        const auto& className = subscription->query().className();
        auto object = ParseObject::fromJSON(message->object, className, subscription->factory());
        if (!object) return;
        std::shared_ptr<ParseObject> original;
        if (message->original.is_object())
            original = ParseObject::fromJSON(message->original, className, subscription->factory());
        deliver(
            [subscription, event = *event, object, original] { subscription->deliverEvent(event, object, original); });
    }

    void onConnectionLost(Error reason) {
        connection_.reset();
        if (userDisconnected_) {
            setState(LiveQueryState::disconnected);
            return;
        }
        // Only the first failure of a streak reaches the handlers; the rest would repeat it.
        if (attempt_ == 0) notifyAll(reason);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const auto delay =
            backend_detail::reconnectDelay(attempt_, options_.backoffBase, options_.backoffCap, unit(random_));
        ++attempt_;
        logInfo("connection lost (" + reason.description() + "), reconnecting in " + std::to_string(delay.count()) +
                " ms");
        const auto generation = generation_;
        std::weak_ptr<LiveQueryClientImpl> weak = weak_from_this();
        // The library's timer, so that a test's manual clock decides when the attempt happens.
        // Scheduled before the state is announced: whoever sees the new state may move the clock.
        DispatchQueue::global().asyncAfter(delay, [weak, generation] {
            if (auto self = weak.lock())
                self->onIo([generation](LiveQueryClientImpl& client) {
                    if (client.generation_ == generation && client.state_.load() == LiveQueryState::waitingToReconnect)
                        client.openConnection();
                });
        });
        setState(LiveQueryState::waitingToReconnect);
    }

    void notifyAll(const Error& error) {
        for (const auto& [id, subscription] : subscriptions_) {
            auto target = subscription;
            deliver([target, error] { target->deliverError(error); });
        }
    }

    static std::shared_ptr<Subscription> find(const std::map<int, std::shared_ptr<Subscription>>& map,
                                              std::optional<int> id) {
        if (!id) return nullptr;
        auto it = map.find(*id);
        return it == map.end() ? nullptr : it->second;
    }

    const std::string server_;
    const std::string applicationId_;
    const std::string clientKey_;
    const LiveQueryClientOptions options_;
    std::optional<backend_detail::WebSocketEndpoint> endpoint_;
    std::atomic<int> nextRequestId_{1};
    std::mutex handlerMutex_;
    std::function<void(LiveQueryState)> stateHandler_;

    // Declared before everything that holds sockets, so it is destroyed after them.
    asio::io_context io_;
    asio::ssl::context tls_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::mt19937 random_;

    // I/O thread only.
    std::shared_ptr<WebSocketConnection> connection_;
    std::map<int, std::shared_ptr<Subscription>> subscriptions_;
    std::map<int, std::shared_ptr<Subscription>> unsubscribing_;
    unsigned attempt_ = 0;
    std::uint64_t generation_ = 0;

    backend_detail::WorkerPool delivery_{"vantrel.livequery.delivery", 1};
    std::thread thread_;
    std::optional<backend_detail::ExitStop> exitStop_;
};

// ---- LiveQueryClient ------------------------------------------------------------------------------

LiveQueryClient::LiveQueryClient(std::string server, std::string applicationId, std::string clientKey,
                                 std::string trustedCertificatesFile, LiveQueryClientOptions options)
    : impl_(std::make_shared<LiveQueryClientImpl>(std::move(server), std::move(applicationId), std::move(clientKey),
                                                  std::move(trustedCertificatesFile), options)) {}

LiveQueryClient::~LiveQueryClient() { impl_->shutdown(); }

std::shared_ptr<LiveQueryClient> LiveQueryClient::shared() {
    auto& slot = sharedSlot();
    std::lock_guard lock(slot.mutex);
    return slot.client;
}

void LiveQueryClient::setShared(std::shared_ptr<LiveQueryClient> client) {
    auto& slot = sharedSlot();
    std::shared_ptr<LiveQueryClient> previous;
    {
        std::lock_guard lock(slot.mutex);
        previous = std::move(slot.client);
        slot.client = std::move(client);
    }
    // `previous` shuts down here, outside the lock.
}

std::shared_ptr<Subscription> LiveQueryClient::subscribe(const ParseQuery& query) {
    return impl_->subscribe(query, {});
}

std::shared_ptr<Subscription> LiveQueryClient::subscribe(const ParseQuery& query, ParseObjectFactory factory) {
    return impl_->subscribe(query, std::move(factory));
}

void LiveQueryClient::unsubscribe(const ParseQuery& query) {
    impl_->unsubscribeWhere([query](const Subscription& subscription) { return subscription.query() == query; });
}

void LiveQueryClient::unsubscribe(const std::shared_ptr<Subscription>& subscription) {
    if (!subscription) return;
    const Subscription* target = subscription.get();
    impl_->unsubscribeWhere([target](const Subscription& candidate) { return &candidate == target; });
}

void LiveQueryClient::reconnect() { impl_->reconnect(); }
void LiveQueryClient::disconnect() { impl_->disconnect(); }
bool LiveQueryClient::isDisconnected() const { return impl_->userDisconnected_.load(); }
bool LiveQueryClient::isConnected() const { return impl_->state_.load() == LiveQueryState::connected; }
LiveQueryState LiveQueryClient::state() const { return impl_->state_.load(); }
void LiveQueryClient::setStateHandler(std::function<void(LiveQueryState)> handler) {
    impl_->setStateHandler(std::move(handler));
}
std::uint64_t LiveQueryClient::connectionCount() const { return impl_->connections_.load(); }
std::size_t LiveQueryClient::subscriptionCount() const { return impl_->subscriptionCount_.load(); }
void LiveQueryClient::setShouldPrintWebSocketLog(bool enabled) { impl_->log_ = enabled; }
void LiveQueryClient::setShouldPrintWebSocketTrace(bool enabled) { impl_->trace_ = enabled; }

}  // namespace vantrel
