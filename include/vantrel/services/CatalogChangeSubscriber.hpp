#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

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
    /// `label` starts the subscription's log lines ("Materials"); `className` is the backend class
    /// watched (events' objects arrive as its registered record class).
    CatalogChangeSubscriber(std::string label, std::string className)
        : label_(std::move(label)), className_(std::move(className)) {}
    virtual ~CatalogChangeSubscriber() = default;

    /// The subscription query for `catalog`: "catalog" equal to it; none for a catalogue that was
    /// never saved. Services whose records need included pointers add them.
    [[nodiscard]] virtual std::optional<ParseQuery> makeSubscriptionQuery(
        const std::shared_ptr<CatalogEntity>& catalog) const;
    /// The log label.
    [[nodiscard]] const std::string& label() const noexcept { return label_; }

private:
    const std::string label_;
    const std::string className_;
    LiveSubscriptionSlot slot_;
};

}  // namespace vantrel

#pragma GCC visibility pop
