#pragma once

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
class LiveSubscriptionSlot {
public:
    /// Makes the subscription for a query (subscribes through the client and configures it).
    using SubscribeFunction = std::function<std::shared_ptr<Subscription>(const ParseQuery& query)>;

    LiveSubscriptionSlot() = default;
    LiveSubscriptionSlot(const LiveSubscriptionSlot&) = delete;
    LiveSubscriptionSlot& operator=(const LiveSubscriptionSlot&) = delete;

    /// Stores `query` and the subscription `subscribe` makes for it, unless the slot holds one
    /// already. Returns true when it subscribed.
    bool fillIfEmpty(const ParseQuery& query, const SubscribeFunction& subscribe) {
        std::lock_guard lock(mutex_);
        if (query_) return false;
        query_ = query;
        subscription_ = subscribe(query);
        return true;
    }

    /// Empties the slot and returns the query it held, none when it was empty.
    std::optional<ParseQuery> take() {
        std::lock_guard lock(mutex_);
        auto query = std::move(query_);
        query_.reset();
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
