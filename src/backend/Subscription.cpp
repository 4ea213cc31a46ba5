#include "vantrel/backend/Subscription.hpp"

#include "core/HostCall.hpp"

namespace vantrel {

namespace {
// Errors kept for a handler not set yet; older ones make way.
constexpr std::size_t kMissedErrorLimit = 8;
}  // namespace

Subscription::Subscription(ParseQuery query, int requestId, ParseObjectFactory factory, Dispatcher dispatcher)
    : query_(std::move(query)), requestId_(requestId), factory_(std::move(factory)), dispatch_(std::move(dispatcher)) {}

Subscription& Subscription::handleSubscribe(QueryBlock block) {
    bool missed = false;
    {
        std::lock_guard lock(mutex_);
        onSubscribe_ = std::move(block);
        missed = missedSubscribe_ && onSubscribe_;
        if (missed) missedSubscribe_ = false;
    }
    if (missed && dispatch_)
        dispatch_([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->deliverSubscribed();
        });
    return *this;
}

Subscription& Subscription::handleUnsubscribe(QueryBlock block) {
    std::lock_guard lock(mutex_);
    onUnsubscribe_ = std::move(block);
    return *this;
}

Subscription& Subscription::handleError(ErrorBlock block) {
    std::vector<Error> missed;
    {
        std::lock_guard lock(mutex_);
        onError_ = std::move(block);
        if (onError_) missed.swap(missedErrors_);
    }
    if (!missed.empty() && dispatch_)
        dispatch_([weak = weak_from_this(), missed = std::move(missed)] {
            if (auto self = weak.lock())
                for (const auto& error : missed) self->deliverError(error);
        });
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
// handlers (or unsubscribe) without deadlocking. Handlers are the host's: one that throws is
// logged and the next handler still runs.

void Subscription::deliverSubscribed() const {
    QueryBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onSubscribe_;
        if (!block) missedSubscribe_ = true;
    }
    if (block) detail::callHostCode("a subscribe handler of", query_.className(), [&] { block(query_); });
}

void Subscription::deliverUnsubscribed() const {
    QueryBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onUnsubscribe_;
    }
    if (block) detail::callHostCode("an unsubscribe handler of", query_.className(), [&] { block(query_); });
}

void Subscription::deliverError(const Error& error) const {
    ErrorBlock block;
    {
        std::lock_guard lock(mutex_);
        block = onError_;
        if (!block) {
            if (missedErrors_.size() >= kMissedErrorLimit) missedErrors_.erase(missedErrors_.begin());
            missedErrors_.push_back(error);
        }
    }
    if (block) detail::callHostCode("an error handler of", query_.className(), [&] { block(query_, error); });
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
    if (block) detail::callHostCode("an event handler of", query_.className(), [&] { block(query_, object); });
    if (any)
        detail::callHostCode("an event handler of", query_.className(), [&] { any(query_, event, object, original); });
}

}  // namespace vantrel
