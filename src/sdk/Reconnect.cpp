#include "sdk/Reconnect.hpp"

#include "core/SdkState.hpp"
#include "services/QueryPattern.hpp"
#include "services/UserVerification.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

namespace vantrel::detail {

namespace {

void checkDeviceIntegrity() {
    const auto isCompromised = VantrelSDK::deviceIntegrityCheck();
    if (!isCompromised || !isCompromised()) return;
    VLOG_ERROR("The device failed its integrity check: clearing local data and signing out.");
    DownloadingService::sharedInstance().cleanLocalCache();
    AuthService::sharedInstance().signOut(false, [] { fatalError("the device failed its integrity check"); });
}

void checkCompany() {
    AuthService::sharedInstance().currentCompany([](std::shared_ptr<CompanyEntity> company, OptionalError error) {
        auto& auth = AuthService::sharedInstance();
        if (error) {
            VLOG_ERROR("Unable to get current company due error: " + error->localizedDescription());
            // An unreachable backend says nothing about the user: keep the session and let the
            // next activation (or the live-query client's own reconnect) pick up from there.
            if (!services_detail::isBackendUnreachable(*error)) auth.signOut(true);
            return;
        }
        if (!company) {
            // The lookup ends the session itself when there is no user or the user fails its
            // checks; a second announcement of the same sign-out would only confuse the host.
            if (services_detail::signedInUser()) auth.signOut(true);
            return;
        }
        CatalogService::sharedInstance().subscribeIfNeeded();
    });
}

}  // namespace

void reconnectSession() {
    DispatchQueue::main().async(checkDeviceIntegrity);

    const auto versionName = VantrelSDK::versionName();
    if (!versionName || versionName->empty()) {
        AuthService::sharedInstance().signOut(
            false, [] { NotificationCenter::defaultCenter().post(VantrelSDK::unsupportedAppVersionNotification); });
        return;
    }
    UnsupportedAppVersionService::sharedInstance().checkAppVersions(*versionName, std::nullopt, std::nullopt,
                                                                    [](bool isUnsupported) {
                                                                        if (!isUnsupported) checkCompany();
                                                                    });
}

}  // namespace vantrel::detail
