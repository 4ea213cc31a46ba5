#include "vantrel/services/CatalogChangeSubscriber.hpp"

#include "services/ChangeFeed.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/Log.hpp"

namespace vantrel {

void CatalogChangeSubscriber::subscribe(const std::shared_ptr<CatalogEntity>& catalog) {
    if (slot_.query()) return;
    const auto query = makeSubscriptionQuery(catalog);
    if (!query) return;
    auto client = LiveQueryClient::shared();
    if (!client) {
        VLOG_ERROR(label_ + " - unable to subscribe due error: the live-query client is not set up");
        return;
    }
    // The handlers go on after the slot is filled and its lock released: a subclass may read its
    // own query while configuring. Confirmations and errors that come first wait for them.
    auto subscription =
        slot_.fillIfEmpty(*query, [&](const ParseQuery& subscribed) { return client->subscribe(subscribed); });
    if (subscription) configureSubscription(subscription, catalog);
}

void CatalogChangeSubscriber::unsubscribe() {
    std::shared_ptr<Subscription> subscription;
    auto query = slot_.take(&subscription);
    if (!query) return;
    // Events and catch-up reads already on their way announce nothing from here on.
    services_detail::closeChangeFeed(subscription);
    if (auto client = LiveQueryClient::shared()) client->unsubscribe(*query);
}

std::optional<ParseQuery> CatalogChangeSubscriber::makeSubscriptionQuery(
    const std::shared_ptr<CatalogEntity>& catalog) const {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) return std::nullopt;
    ParseQuery query(className_);
    query.whereEqualTo("catalog", *pointer);
    return query;
}

}  // namespace vantrel
