#include "vantrel/backend/Subscription.hpp"

namespace vantrel {

Subscription::Subscription(ParseQuery query, int requestId, ParseObjectFactory factory)
    : query_(std::move(query)), requestId_(requestId), factory_(std::move(factory)) {}

Subscription& Subscription::handleSubscribe(QueryBlock block) {
    std::lock_guard lock(mutex_);
    onSubscribe_ = std::move(block);
    return *this;
}

Subscription& Subscription::handleUnsubscribe(QueryBlock block) {
    std::lock_guard lock(mutex_);
    onUnsubscribe_ = std::move(block);
    return *this;
}

Subscription& Subscription::handleError(ErrorBlock block) {
    std::lock_guard lock(mutex_);
    onError_ = std::move(block);
    return *this;
}

Subscription& Subscription::handle(Event event, EventBlock block) {
    std::lock_guard lock(mutex_);
    onEvent_[event] = std::move(block);
    return *this;
}

Subscription& Subscription::handleEvent(AnyEventBlock block) {
    std::lock_guard lock(mutex_);
    onAnyEvent_ = std::move(block);
    return *this;
}

// Each delivery copies its handler under the lock and runs it outside, so a handler may set
// handlers (or unsubscribe) without deadlocking.

void Subscription::deliverSubscribed() const {
    QueryBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onSubscribe_;
    }
    if (block) block(query_);
}

void Subscription::deliverUnsubscribed() const {
    QueryBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onUnsubscribe_;
    }
    if (block) block(query_);
}

void Subscription::deliverError(const Error& error) const {
    ErrorBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onError_;
    }
    if (block) block(query_, error);
}

void Subscription::deliverEvent(Event event, const std::shared_ptr<ParseObject>& object,
                                const std::shared_ptr<ParseObject>& original) const {
    EventBlock block;
    AnyEventBlock any;
    {
        std::lock_guard lock(mutex_);
        if (auto it = onEvent_.find(event); it != onEvent_.end()) block = it->second;
        any = onAnyEvent_;
    }
    if (block) block(query_, object);
    if (any) any(query_, event, object, original);
}

}  // namespace vantrel
