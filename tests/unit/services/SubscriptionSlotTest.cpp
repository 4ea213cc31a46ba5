// A catalogue service configures its new subscription; code that configures may read the
// service's own state without waiting on the slot that is being filled.

#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/services/CatalogChangeSubscriber.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

class QueryReadingSubscriber final : public CatalogChangeSubscriber {
public:
    QueryReadingSubscriber() : CatalogChangeSubscriber("Things", "Thing") {}
    ~QueryReadingSubscriber() override = default;

    void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                               const std::shared_ptr<CatalogEntity>&) override {
        seenQuery = subscriptionQuery();
        seenSubscription = this->subscription();
        configured = subscription;
    }

    std::optional<ParseQuery> seenQuery;
    std::shared_ptr<Subscription> seenSubscription;
    std::shared_ptr<Subscription> configured;
};

TEST(SubscriptionSlotTest, ConfiguringASubscriptionMayReadTheServicesOwnQuery) {
    auto client =
        std::make_shared<LiveQueryClient>("ws://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()), "app");
    LiveQueryClient::setShared(client);
    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId("c1");

    QueryReadingSubscriber subscriber;
    subscriber.subscribe(catalog);  // used to wait forever on its own lock
    ASSERT_TRUE(subscriber.configured);
    ASSERT_TRUE(subscriber.seenQuery);
    EXPECT_EQ(subscriber.seenQuery->whereJSON()["catalog"]["objectId"], "c1");
    EXPECT_EQ(subscriber.seenSubscription, subscriber.configured);

    subscriber.subscribe(catalog);
    EXPECT_EQ(subscriber.subscription(), subscriber.configured) << "a second subscribe keeps the first";
    subscriber.unsubscribe();
    LiveQueryClient::setShared(nullptr);
}

}  // namespace
}  // namespace vantrel
