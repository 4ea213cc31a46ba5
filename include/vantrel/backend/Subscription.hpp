#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/core/Error.hpp"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

class LiveQueryClient;

/// The kinds of live event: an object started to match the query (`entered`), stopped matching
/// (`left`), was created matching it, was updated while matching, or was deleted.
enum class Event { entered, left, created, updated, deleted };

/// One live subscription of a LiveQueryClient: the query and the handlers of its events.
///
/// Handlers may be set at any time from any thread; they run on the client's delivery thread
/// (one thread per client, events in the order the server sent them), never on the main queue.
/// A confirmation or an error that comes before its handler is set (a server URL that cannot
/// work fails at once) is kept and handed to the handler once it is set.
/// Objects reach them through the class registry of ParseObject (or the subscription's own
/// factory), filled with what the server sent: pointers as stubs.
class Subscription : public std::enable_shared_from_this<Subscription> {
public:
    /// Receives the subscription's query (subscribed, unsubscribed).
    using QueryBlock = std::function<void(const ParseQuery& query)>;
    /// Receives the query and an error of the server or of the connection.
    using ErrorBlock = std::function<void(const ParseQuery& query, const Error& error)>;
    /// Receives the query and the object of one event.
    using EventBlock = std::function<void(const ParseQuery& query, std::shared_ptr<ParseObject> object)>;
    /// Receives every event with its kind, the object and, for updates, entries and exits, the
    /// object as it was before (nullptr when the server did not send it).
    using AnyEventBlock = std::function<void(const ParseQuery& query, Event event, std::shared_ptr<ParseObject> object,
                                             std::shared_ptr<ParseObject> original)>;

    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    /// The subscribed query.
    [[nodiscard]] const ParseQuery& query() const noexcept { return query_; }
    /// The request id the server knows this subscription by.
    [[nodiscard]] int requestId() const noexcept { return requestId_; }

    /// Runs when the server confirmed the subscription (again after every reconnect).
    Subscription& handleSubscribe(QueryBlock block);
    /// Runs when the subscription ended through `unsubscribe`.
    Subscription& handleUnsubscribe(QueryBlock block);
    /// Runs for each error the server reports for this subscription or its connection.
    Subscription& handleError(ErrorBlock block);
    /// Runs for events of `event` kind, replacing an earlier handler of that kind.
    Subscription& handle(Event event, EventBlock block);
    /// Runs for every event, after the handler of its kind.
    Subscription& handleEvent(AnyEventBlock block);

private:
    friend class LiveQueryClientImpl;
    /// Runs work on the client's delivery thread.
    using Dispatcher = std::function<void(std::function<void()>)>;
    Subscription(ParseQuery query, int requestId, ParseObjectFactory factory, Dispatcher dispatcher);

    void deliverSubscribed() const;
    void deliverUnsubscribed() const;
    void deliverError(const Error& error) const;
    void deliverEvent(Event event, const std::shared_ptr<ParseObject>& object,
                      const std::shared_ptr<ParseObject>& original) const;
    [[nodiscard]] const ParseObjectFactory& factory() const noexcept { return factory_; }

    const ParseQuery query_;
    const int requestId_;
    const ParseObjectFactory factory_;
    const Dispatcher dispatch_;
    mutable std::mutex mutex_;
    mutable bool missedSubscribe_ = false;
    mutable std::vector<Error> missedErrors_;
    QueryBlock onSubscribe_;
    QueryBlock onUnsubscribe_;
    ErrorBlock onError_;
    std::map<Event, EventBlock> onEvent_;
    AnyEventBlock onAnyEvent_;
};

}  // namespace vantrel

#pragma GCC visibility pop
