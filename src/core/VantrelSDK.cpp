#include "vantrel/core/VantrelSDK.hpp"

#include "core/SdkState.hpp"
#include "core/LogRedaction.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NetworkActivity.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace vantrel {

namespace detail {

SdkState& sdkState() {
    static auto* state = new SdkState();
    return *state;
}

void fatalError(const std::string& message) {
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    std::fflush(stderr);
    VLOG_ERROR("Fatal error: " + message);
    sharedFileLogger().flush();
    std::abort();
}

std::map<std::string, double>& lastDbAccessRegistry() {
    // Created on first use with exactly these keys; keys are never added or removed later.
    static auto* registry = new std::map<std::string, double>{{"UnsupportedAppVersionService", 0},
                                                              {"AuthService", 0},
                                                              {"CompanyService", 0},
                                                              {"CatalogService", 0},
                                                              {"ComponentService", 0},
                                                              {"AnchorObjectService", 0},
                                                              {"MaterialService", 0},
                                                              {"AppListItemService", 0},
                                                              {"SceneService", 0},
                                                              {"ModelMeasuringUnitService", 0}};
    return *registry;
}

}  // namespace detail

namespace {
using detail::sdkState;

std::string newUuid() { return boost::uuids::to_string(boost::uuids::random_generator()()); }

bool isBlank(std::string_view text) { return text.find_first_not_of(" \t\n\r\v\f") == std::string_view::npos; }

std::mutex& wallClockMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<double()>& wallClockSlot() {
    static auto* clock = new std::function<double()>();
    return *clock;
}
}  // namespace

double detail::wallClockSeconds() {
    {
        std::lock_guard lock(wallClockMutex());
        if (const auto& clock = wallClockSlot()) return clock();
    }
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void detail::setWallClock(std::function<double()> clock) {
    std::lock_guard lock(wallClockMutex());
    wallClockSlot() = std::move(clock);
}

// ---- version ----------------------------------------------------------------------------------

std::string VantrelSDK::version() {
    auto& s = sdkState();
    std::lock_guard lock(s.versionMutex);
    std::string text = s.versionName.value_or("");
    if (s.versionBuildNumber) text += "B" + *s.versionBuildNumber;
    return text;
}

std::optional<std::string> VantrelSDK::versionName() {
    auto& s = sdkState();
    std::lock_guard lock(s.versionMutex);
    return s.versionName;
}

void VantrelSDK::setVersionName(std::optional<std::string> name) {
    auto& s = sdkState();
    std::lock_guard lock(s.versionMutex);
    s.versionName = std::move(name);
}

std::optional<std::string> VantrelSDK::versionBuildNumber() {
    auto& s = sdkState();
    std::lock_guard lock(s.versionMutex);
    return s.versionBuildNumber;
}

void VantrelSDK::setVersionBuildNumber(std::optional<std::string> number) {
    auto& s = sdkState();
    std::lock_guard lock(s.versionMutex);
    s.versionBuildNumber = std::move(number);
}

// ---- settings ---------------------------------------------------------------------------------

const std::optional<ResourceBundle>& VantrelSDK::sdkBundle() {
    auto& s = sdkState();
    std::lock_guard lock(s.bundleMutex);
    if (!s.bundleLooked) {
        s.bundle = ResourceBundle::locate();
        s.bundleLooked = true;
    }
    return s.bundle;
}

const std::string& VantrelSDK::serverUrl() { return sdkState().serverUrl; }
const std::string& VantrelSDK::liveQueryServerUrl() { return sdkState().liveQueryServerUrl; }
const std::string& VantrelSDK::applicationId() { return sdkState().applicationId; }
const std::string& VantrelSDK::clientKey() { return sdkState().clientKey; }
const std::string& VantrelSDK::trustedCertificatesFile() { return sdkState().trustedCertificatesFile; }
SdkVariant VantrelSDK::variant() { return sdkState().variant; }
const std::string& VantrelSDK::companyAuthToken() { return sdkState().companyAuthToken; }
double VantrelSDK::dbAccessPeriod() { return sdkState().dbAccessPeriod; }
bool VantrelSDK::debugLogging() { return sdkState().debugLogging; }
bool VantrelSDK::debug3d() { return sdkState().debug3d; }
bool VantrelSDK::lightEstimateEnabled() { return sdkState().lightEstimateEnabled; }
bool VantrelSDK::isB2B() { return sdkState().variant == SdkVariant::B2B; }
bool VantrelSDK::isB2C() { return sdkState().variant == SdkVariant::B2C; }

bool VantrelSDK::isInitialized() {
    bool initialized = false;
    lifecycleQueue().sync([&] { initialized = sdkState().isInitialized; });
    return initialized;
}

bool VantrelSDK::isRootGroup(std::string_view text) { return isBlank(text) || text == "/"; }

FileLogger& VantrelSDK::fileLogger() { return sharedFileLogger(); }

// ---- queues -----------------------------------------------------------------------------------

// Never destroyed, as the main and global queues: work of other threads may reach them while the
// process exits.
DispatchQueue& VantrelSDK::lifecycleQueue() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(DispatchQueue::makeSerial("VantrelSDKLifeCycleQueue_" + newUuid()));
    return **queue;
}

DispatchQueue& VantrelSDK::lastDbAccessQueue() {
    static auto* queue =
        new std::shared_ptr<DispatchQueue>(DispatchQueue::makeSerial("LastDbAccesDispatchQueue__" + newUuid()));
    return **queue;
}

// ---- last-access registry ---------------------------------------------------------------------

double VantrelSDK::lastDbAccessTime(const std::string& serviceName) {
    double time = 0;
    lastDbAccessQueue().sync([&] {
        const auto& registry = detail::lastDbAccessRegistry();
        if (auto it = registry.find(serviceName); it != registry.end()) time = it->second;
    });
    return time;
}

void VantrelSDK::setLastDbAccessTime(const std::string& serviceName, double time) {
    lastDbAccessQueue().async([serviceName, time] {
        auto& registry = detail::lastDbAccessRegistry();
        if (auto it = registry.find(serviceName); it != registry.end()) it->second = time;
    });
}

int VantrelSDK::cachePolicyForQuery(const std::string& serviceName) {
    const double now = detail::wallClockSeconds();
    if (now < lastDbAccessTime(serviceName) + dbAccessPeriod()) return 3;
    setLastDbAccessTime(serviceName, now);
    return 2;
}

// ---- activation -------------------------------------------------------------------------------

void VantrelSDK::applicationDidBecomeActive() {
    lifecycleQueue().async([] { _reconnect(); });
}

void VantrelSDK::setReconnectHandler(std::function<void()> handler) {
    auto& s = sdkState();
    std::lock_guard lock(s.reconnectMutex);
    s.reconnectHandler = std::move(handler);
}

void VantrelSDK::setDeviceIntegrityCheck(std::function<bool()> isCompromised) {
    auto& s = sdkState();
    std::lock_guard lock(s.reconnectMutex);
    s.deviceIsCompromised = std::move(isCompromised);
}

std::function<bool()> VantrelSDK::deviceIntegrityCheck() {
    auto& s = sdkState();
    std::lock_guard lock(s.reconnectMutex);
    return s.deviceIsCompromised;
}

void VantrelSDK::_reconnect() {
    auto& s = sdkState();
    if (!s.isInitialized) {
        // Not yet initialized: look again in five seconds, as long as it takes.
        lifecycleQueue().asyncAfter(std::chrono::seconds(5), [] { _reconnect(); });
        return;
    }
    std::function<void()> handler;
    {
        std::lock_guard lock(s.reconnectMutex);
        handler = s.reconnectHandler;
    }
    if (handler) handler();
}

// ---- network logging --------------------------------------------------------------------------

void VantrelSDK::onWillSendParseURLRequest(const Notification& notification) {
    if (!debugLogging() || notification.userInfo.empty()) return;
    auto it = notification.userInfo.find(kNetworkRequestUserInfoKey);
    if (it == notification.userInfo.end()) return;
    const auto* request = std::any_cast<HttpRequestRecord>(&it->second);
    if (request == nullptr) return;
    std::string text =
        "\nREQUEST: [" + request->method + "] " + request->url + "\n    Headers: " + describeHeaders(request->headers);
    if (request->body) text += "\n    Body: " + detail::loggableBody(*request->body);
    VLOG_DEBUG(text);
}

void VantrelSDK::onDidReceiveParseURLResponse(const Notification& notification) {
    if (!debugLogging() || notification.userInfo.empty()) return;
    auto it = notification.userInfo.find(kNetworkResponseUserInfoKey);
    if (it == notification.userInfo.end()) return;
    const auto* response = std::any_cast<HttpResponseRecord>(&it->second);
    if (response == nullptr) return;
    std::string body;
    if (auto b = notification.userInfo.find(kNetworkResponseBodyUserInfoKey); b != notification.userInfo.end())
        if (const auto* text = std::any_cast<std::string>(&b->second)) body = *text;
    VLOG_DEBUG("\nRESPONSE: [" + std::to_string(response->statusCode) + "] " + response->url +
               "\n    Headers: " + describeHeaders(response->headers) + "\n    Body: " + detail::loggableBody(body));
}

std::string VantrelSDK::startBanner() {
    return "\n\n---------------\nVantrelSDK v" + version() + "\n---------------\n\n";
}

}  // namespace vantrel
