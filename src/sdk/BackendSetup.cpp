#include "sdk/BackendSetup.hpp"

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel::detail {

void setUpBackendClients() {
    // Every object the client hands back (query results, included pointers, live events, the
    // restored user) is made through the class registry, so the record classes go in first.
    registerRecordClasses();

    ParseClientConfiguration configuration;
    configuration.server = VantrelSDK::serverUrl();
    configuration.applicationId = VantrelSDK::applicationId();
    configuration.clientKey = VantrelSDK::clientKey();
    configuration.trustedCertificatesFile = VantrelSDK::trustedCertificatesFile();
    Parse::initialize(configuration);
    if (VantrelSDK::debugLogging()) Parse::setLogLevel(4);

    auto liveQuery = std::make_shared<LiveQueryClient>(VantrelSDK::liveQueryServerUrl(), VantrelSDK::applicationId(),
                                                       VantrelSDK::clientKey(), VantrelSDK::trustedCertificatesFile());
    LiveQueryClient::setShared(liveQuery);
    liveQuery->setShouldPrintWebSocketLog(VantrelSDK::debugLogging());
    liveQuery->setShouldPrintWebSocketTrace(VantrelSDK::debugLogging());
}

}  // namespace vantrel::detail
