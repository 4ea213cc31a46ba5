#include "sdk/BackendSetup.hpp"

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/VantrelSDK.hpp"

namespace vantrel::detail {

void setUpBackendClients() {
    // The record classes register themselves with the client's class registry; users and roles
    // are registered here, as the first objects the client may hand back are the restored user
    // and the roles of the sign-in checks.
    ParseObject::registerSubclass<ParseUser>();
    ParseObject::registerSubclass<ParseRole>();

    ParseClientConfiguration configuration;
    configuration.server = VantrelSDK::serverUrl();
    configuration.applicationId = VantrelSDK::applicationId();
    configuration.clientKey = VantrelSDK::clientKey();
    configuration.trustedCertificatesFile = VantrelSDK::trustedCertificatesFile();
    Parse::initialize(configuration);
    if (VantrelSDK::debugLogging()) Parse::setLogLevel(4);

    auto liveQuery = std::make_shared<LiveQueryClient>(VantrelSDK::liveQueryServerUrl(), VantrelSDK::applicationId(),
                                                       VantrelSDK::clientKey(),
                                                       VantrelSDK::trustedCertificatesFile());
    LiveQueryClient::setShared(liveQuery);
    liveQuery->setShouldPrintWebSocketLog(VantrelSDK::debugLogging());
    liveQuery->setShouldPrintWebSocketTrace(VantrelSDK::debugLogging());
}

}  // namespace vantrel::detail
