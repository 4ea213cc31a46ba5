#pragma once

#include "vantrel/core/VantrelSDK.hpp"

#include <functional>
#include <map>
#include <mutex>

namespace vantrel::detail {

/// The facade's process-wide settings. Written during initialization (on the caller's thread)
/// and read without locking afterwards; the version strings, which the host may change at any
/// time, sit behind their own mutex.
struct SdkState {
    std::optional<ResourceBundle> bundle;
    bool bundleLooked = false;
    std::mutex bundleMutex;

    std::mutex versionMutex;
    std::optional<std::string> versionName;
    std::optional<std::string> versionBuildNumber;

    std::string serverUrl;
    std::string liveQueryServerUrl;
    std::string applicationId;
    std::string clientKey;
    std::string trustedCertificatesFile;
    SdkVariant variant = SdkVariant::B2B;
    std::string companyAuthToken;
    double dbAccessPeriod = 0;
    bool debugLogging = false;
    bool debug3d = false;
    bool lightEstimateEnabled = true;
    bool isInitialized = false;  // touched only on lifecycleQueue

    std::function<void()> reconnectHandler;  // set before activations arrive
    std::function<bool()> deviceIsCompromised;
    std::mutex reconnectMutex;
};

SdkState& sdkState();

/// Ends the process with `message`, written to the standard error and the log.
[[noreturn]] void fatalError(const std::string& message);

/// Now, in seconds since 1970, as the access-period rule sees it.
double wallClockSeconds();
/// Replaces the access-period rule's wall clock; an empty function restores the system clock.
/// For tests, which move time without waiting for it.
void setWallClock(std::function<double()> clock);

/// Registry of each data service's last network query, guarded by lastDbAccessQueue.
std::map<std::string, double>& lastDbAccessRegistry();

}  // namespace vantrel::detail
