#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"
#include "vantrel/services/AuthService.hpp"

namespace vantrel {

namespace {

void postUnsupported() { NotificationCenter::defaultCenter().post(VantrelSDK::unsupportedAppVersionNotification); }

}  // namespace

UnsupportedAppVersionService::UnsupportedAppVersionService() { registerRecordClasses(); }

UnsupportedAppVersionService& UnsupportedAppVersionService::sharedInstance() {
    static auto* instance = new UnsupportedAppVersionService();
    return *instance;
}

void UnsupportedAppVersionService::isUnsupported(const std::string& appName, const std::string& appVersion,
                                                 UnsupportedBlock block) {
    if (!block) block = [](bool) {};
    ParseQuery query(UnsupportedAppVersionEntity::parseClassName());
    query.whereEqualTo("app", appName).whereEqualTo("version", appVersion);
    services_detail::getFirstObject(
        std::move(query), typeName(),
        [appName, appVersion, block](std::shared_ptr<ParseObject> record, OptionalError error) {
            if (error) {
                // An unreachable backend must not lock users out: the version counts as supported.
                VLOG_ERROR("Unable to obtain UnsupportedAppVersion by '" + appName + "' app and by '" + appVersion +
                           "' version due error: " + error->description());
                return block(false);
            }
            block(record != nullptr);
        });
}

void UnsupportedAppVersionService::refuse(const UnsupportedBlock& block) {
    AuthService::sharedInstance().signOut(false, [block] {
        postUnsupported();
        block(true);
    });
}

void UnsupportedAppVersionService::checkAppVersions(const std::string& versionName,
                                                    const std::optional<std::string>& appName,
                                                    const std::optional<std::string>& appVersion,
                                                    UnsupportedBlock block) {
    if (!block) block = [](bool) {};
    isUnsupported(AuthService::sdkAppName, versionName,
                  [this, versionName, appName, appVersion, block](bool sdkUnsupported) {
                      if (sdkUnsupported) return refuse(block);
                      if (!appName || !appVersion) {
                          subscribe(AuthService::sdkAppName, versionName);
                          return block(false);
                      }
                      if (appName->empty() || appVersion->empty()) return refuse(block);
                      isUnsupported(*appName, *appVersion, [this, appName, appVersion, block](bool hostUnsupported) {
                          if (hostUnsupported) return refuse(block);
                          subscribe(*appName, *appVersion);
                          block(false);
                      });
                  });
}

void UnsupportedAppVersionService::subscribe(const std::string& appName, const std::string& appVersion) {
    auto client = LiveQueryClient::shared();
    if (!client) {
        VLOG_ERROR("UnsupportedAppVersions - unable to subscribe due error: no live-query client");
        return;
    }
    if (client->isDisconnected()) client->reconnect();

    ParseQuery query(UnsupportedAppVersionEntity::parseClassName());
    // Only the application: a version added to the list later is what the handlers look for.
    query.whereEqualTo("app", appName);

    // Gate runs from sign-in and from activation may overlap: the replacement happens as one step.
    // The handlers are registered after the lock is released, so configuring may read the map.
    std::shared_ptr<Subscription> subscription;
    {
        std::lock_guard lock(mutex_);
        if (subscriptionMap_.query) {
            client->unsubscribe(*subscriptionMap_.query);
            subscriptionMap_.query.reset();
            subscriptionMap_.subscription.reset();
        }
        subscriptionMap_.query = query;
        subscription = client->subscribe<UnsupportedAppVersionEntity>(query);
        subscriptionMap_.subscription = subscription;
    }
    configureSubscription(subscription, appName, appVersion);
}

void UnsupportedAppVersionService::configureSubscription(const std::shared_ptr<Subscription>& subscription,
                                                         const std::string& appName, const std::string& appVersion) {
    if (!subscription) return;
    subscription->handleSubscribe([](const ParseQuery&) { VLOG_INFO("UnsupportedAppVersions - subscribed."); });
    subscription->handleError([](const ParseQuery&, const Error& error) {
        VLOG_ERROR("UnsupportedAppVersions - unable to subscribe due error: " + error.localizedDescription());
    });
    auto onListed = [appName, appVersion](const ParseQuery&, std::shared_ptr<ParseObject> object) {
        auto record = std::dynamic_pointer_cast<UnsupportedAppVersionEntity>(object);
        if (!record || record->app() != appName || record->version() != appVersion) return;
        AuthService::sharedInstance().signOut(false, [] { postUnsupported(); });
    };
    subscription->handle(Event::created, onListed);
    subscription->handle(Event::entered, onListed);
    subscription->handle(Event::updated, onListed);
}

std::optional<ParseQuery> UnsupportedAppVersionService::subscriptionQuery() const {
    std::lock_guard lock(mutex_);
    return subscriptionMap_.query;
}

std::shared_ptr<Subscription> UnsupportedAppVersionService::subscription() const {
    std::lock_guard lock(mutex_);
    return subscriptionMap_.subscription;
}

}  // namespace vantrel
