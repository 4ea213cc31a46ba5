#include "vantrel/services/CatalogChangeSubscriber.hpp"

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
    slot_.fillIfEmpty(*query, [&](const ParseQuery& subscribed) {
        auto subscription = client->subscribe(subscribed);
        configureSubscription(subscription, catalog);
        return subscription;
    });
}

void CatalogChangeSubscriber::unsubscribe() {
    auto query = slot_.take();
    if (!query) return;
    if (auto client = LiveQueryClient::shared()) client->unsubscribe(*query);
}

std::optional<ParseQuery> CatalogChangeSubscriber::makeSubscriptionQuery(const std::shared_ptr<CatalogEntity>& catalog) const {
    const auto pointer = services_detail::pointerTo(catalog);
    if (!pointer) return std::nullopt;
    ParseQuery query(className_);
    query.whereEqualTo("catalog", *pointer);
    return query;
}

}  // namespace vantrel
