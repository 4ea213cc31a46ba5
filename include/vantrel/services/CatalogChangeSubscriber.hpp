#pragma once

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/LiveSubscriptionSlot.hpp"

#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// The live subscription of a catalogue service: one record kind of one catalogue, whose changes
/// become the service's created, updated and deleted notifications.
///
/// `CatalogService::subscribeIfNeeded()` subscribes the five catalogue services together and
/// `CatalogService::unsubscribeAll()` ends them together. A service subscribed to a catalogue
/// stays on it until it is unsubscribed. Event handlers run on the live-query client's delivery
/// thread and post there.
class CatalogChangeSubscriber {
public:
    CatalogChangeSubscriber(const CatalogChangeSubscriber&) = delete;
    CatalogChangeSubscriber& operator=(const CatalogChangeSubscriber&) = delete;

    /// Subscribes to the changes of `catalog`'s records unless subscribed already. Does nothing
    /// for a catalogue that was never saved, or before the library is initialized (logged).
    void subscribe(const std::shared_ptr<CatalogEntity>& catalog);
    /// Ends the subscription, if any.
    void unsubscribe();
    /// Registers the log lines and the change handlers, bound to `catalog`, on a new subscription.
    virtual void configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                       const std::shared_ptr<CatalogEntity>& catalog) = 0;

    /// The query the subscription was made with; none when not subscribed.
    [[nodiscard]] std::optional<ParseQuery> subscriptionQuery() const { return slot_.query(); }
    /// The subscription; none when not subscribed.
    [[nodiscard]] std::shared_ptr<Subscription> subscription() const { return slot_.subscription(); }

protected:
    /// `label` starts the subscription's log lines ("Materials").
    explicit CatalogChangeSubscriber(std::string label) : label_(std::move(label)) {}
    virtual ~CatalogChangeSubscriber() = default;

    /// The subscription query for `catalog`; none when the catalogue cannot be pointed at.
    [[nodiscard]] virtual std::optional<ParseQuery> makeSubscriptionQuery(const std::shared_ptr<CatalogEntity>& catalog) const = 0;
    /// Makes an empty record of the service's class (events' objects arrive as this class).
    [[nodiscard]] virtual ParseObjectFactory recordFactory() const = 0;
    /// The log label.
    [[nodiscard]] const std::string& label() const noexcept { return label_; }

    /// "catalog" equal to `catalog` on `className`; none for a catalogue that was never saved.
    static std::optional<ParseQuery> catalogQuery(const std::string& className, const std::shared_ptr<CatalogEntity>& catalog);

private:
    const std::string label_;
    LiveSubscriptionSlot slot_;
};

}  // namespace vantrel
