#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"
#include "vantrel/services/DaoAwareService.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vantrel {

/// The version gate: whether an application version is on the backend's list of versions that
/// may no longer use it, and one live subscription that ends the session when the running
/// version is added to that list later.
///
/// An unsupported version ends the session silently (no sign-out notification) and posts the
/// unsupported-version notification. Backend errors while checking count as supported, so an
/// unreachable backend never locks users out. The subscription is kept across sign-outs.
class UnsupportedAppVersionService : public DaoAwareService<UnsupportedAppVersionService> {
public:
    /// Receives true when the version is unsupported.
    using UnsupportedBlock = std::function<void(bool isUnsupported)>;

    /// The process-wide instance.
    static UnsupportedAppVersionService& sharedInstance();

    UnsupportedAppVersionService(const UnsupportedAppVersionService&) = delete;
    UnsupportedAppVersionService& operator=(const UnsupportedAppVersionService&) = delete;

    /// Whether the list holds (`appName`, `appVersion`); errors are logged and answer false.
    void isUnsupported(const std::string& appName, const std::string& appVersion, UnsupportedBlock block);

    /// The gate run at sign-in and on activation: the library's own version (`versionName`
    /// under "IOS_SDK"), then the host's `appName` / `appVersion` when it gave them (an empty
    /// one is unsupported), then a live subscription for the pair that was checked last. Answers
    /// true when a version is unsupported, after signing out and posting the notification.
    void checkAppVersions(const std::string& versionName, const std::optional<std::string>& appName,
                          const std::optional<std::string>& appVersion, UnsupportedBlock block);

    /// Watches the list for `appName`, replacing the previous subscription; a record for
    /// (`appName`, `appVersion`) arriving later ends the session.
    void subscribe(const std::string& appName, const std::string& appVersion);

    /// Registers the log lines and the event handlers on a new subscription.
    void configureSubscription(const std::shared_ptr<Subscription>& subscription, const std::string& appName,
                               const std::string& appVersion);

    /// The query of the current subscription, none when there is none.
    [[nodiscard]] std::optional<ParseQuery> subscriptionQuery() const;
    /// The current subscription, none when there is none.
    [[nodiscard]] std::shared_ptr<Subscription> subscription() const;

private:
    UnsupportedAppVersionService();
    ~UnsupportedAppVersionService() = default;

    /// Signs out without notification, then announces the unsupported version and answers.
    static void refuse(const UnsupportedBlock& block);

    // The subscription map: at most the query and its subscription.
    struct SubscriptionMap {
        std::optional<ParseQuery> query;
        std::shared_ptr<Subscription> subscription;
    };
    mutable std::mutex mutex_;
    SubscriptionMap subscriptionMap_;
};

}  // namespace vantrel

#pragma GCC visibility pop
