#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace vantrel {

/// The live subscription a data service holds: the query it was made with and the subscription
/// itself, both empty when the service is not subscribed.
///
/// Sign-in, activation and sign-out may reach a service from different threads at once, so the
/// check "already subscribed?" and the change of state happen as one step under the slot's lock.
/// Only the client's subscribe runs under it; the service configures the new subscription after
/// `fillIfEmpty` returned, so configuring code may read the slot.
class LiveSubscriptionSlot {
public:
    /// Makes the subscription for a query through the client. Runs under the slot's lock: it must
    /// not call back into the slot.
    using SubscribeFunction = std::function<std::shared_ptr<Subscription>(const ParseQuery& query)>;

    LiveSubscriptionSlot() = default;
    LiveSubscriptionSlot(const LiveSubscriptionSlot&) = delete;
    LiveSubscriptionSlot& operator=(const LiveSubscriptionSlot&) = delete;

    /// Stores `query` and the subscription `subscribe` makes for it, unless the slot holds one
    /// already. Returns the new subscription (for the caller to configure, outside the lock), none
    /// when the slot was taken.
    std::shared_ptr<Subscription> fillIfEmpty(const ParseQuery& query, const SubscribeFunction& subscribe) {
        std::lock_guard lock(mutex_);
        if (query_) return nullptr;
        query_ = query;
        subscription_ = subscribe(query);
        return subscription_;
    }

    /// Empties the slot and returns the query it held, none when it was empty; the subscription
    /// it held goes to `subscription` when given.
    std::optional<ParseQuery> take(std::shared_ptr<Subscription>* subscription = nullptr) {
        std::lock_guard lock(mutex_);
        auto query = std::move(query_);
        query_.reset();
        if (subscription != nullptr) *subscription = subscription_;
        subscription_.reset();
        return query;
    }

    /// The query of the subscription, none when not subscribed.
    [[nodiscard]] std::optional<ParseQuery> query() const {
        std::lock_guard lock(mutex_);
        return query_;
    }

    /// The subscription, none when not subscribed.
    [[nodiscard]] std::shared_ptr<Subscription> subscription() const {
        std::lock_guard lock(mutex_);
        return subscription_;
    }

private:
    mutable std::mutex mutex_;
    std::optional<ParseQuery> query_;
    std::shared_ptr<Subscription> subscription_;
};

}  // namespace vantrel

#pragma GCC visibility pop
