// VantrelSDK::initialize: the start of the library, from its resource bundle and the host's options.

#include "core/SdkState.hpp"
#include "sdk/BackendSetup.hpp"
#include "sdk/Reconnect.hpp"
#include "sdk/Shutdown.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/VantrelSDK.hpp"

#include <cstdlib>

namespace vantrel {

namespace {
using detail::fatalError;
using detail::sdkState;

bool isBlank(std::string_view text) { return text.find_first_not_of(" \t\n\r\v\f") == std::string_view::npos; }

std::optional<std::string> stringEntry(const nlohmann::json& dictionary, const char* key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

/// A Config value that must be a non-blank string; kept exactly as written.
std::string requiredConfigValue(const nlohmann::json& config, const char* key) {
    auto value = stringEntry(config, key);
    if (!value || isBlank(*value))
        fatalError(std::string("'Config/") + key + "' (in SDK's Info.plist) must not be blank.");
    return *value;
}

/// A string option: std::string and C strings both count as text.
std::optional<std::string> textOf(const std::any& value) {
    if (const auto* s = std::any_cast<std::string>(&value)) return *s;
    if (const auto* c = std::any_cast<const char*>(&value); c != nullptr && *c != nullptr) return std::string(*c);
    if (const auto* v = std::any_cast<std::string_view>(&value)) return std::string(*v);
    return std::nullopt;
}

void applyOptions(const SdkInitializeOptions& options) {
    auto& s = sdkState();
    for (const auto& [option, value] : options) {
        switch (option) {
            case SdkInitializeOption::variant:
                if (const auto* v = std::any_cast<SdkVariant>(&value)) s.variant = *v;
                break;
            case SdkInitializeOption::companyAuthToken: {
                auto text = textOf(value);
                s.companyAuthToken = (text && !isBlank(*text)) ? *text : std::string();
                break;
            }
            case SdkInitializeOption::dbAccessPeriod:
                // Only a double counts: an integer or a text leaves the period as it is.
                if (const auto* d = std::any_cast<double>(&value)) s.dbAccessPeriod = *d;
                break;
            case SdkInitializeOption::debugLogging:
                if (const auto* b = std::any_cast<bool>(&value)) s.debugLogging = *b;
                break;
            case SdkInitializeOption::debug3d:
                if (const auto* b = std::any_cast<bool>(&value)) s.debug3d = *b;
                break;
            case SdkInitializeOption::lightEstimateEnabled:
                if (const auto* b = std::any_cast<bool>(&value)) s.lightEstimateEnabled = *b;
                break;
        }
    }
}

/// The CA the backend clients trust besides the system's: the environment wins over the bundle.
std::string trustedCertificates(const ResourceBundle& bundle, const nlohmann::json& config) {
    if (const char* env = std::getenv("VANTREL_CA_FILE"); env != nullptr && *env != '\0') return env;
    auto value = stringEntry(config, "VantrelCACertificate");
    if (!value || isBlank(*value)) return {};
    std::filesystem::path path(*value);
    return (path.is_absolute() ? path : bundle.directory() / path).string();
}

void addObservers() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(VantrelSDK::applicationDidBecomeActiveNotification,
                       [](const Notification&) { VantrelSDK::applicationDidBecomeActive(); });
    if (!VantrelSDK::debugLogging()) return;
    center.addObserver(kNetworkWillSendURLRequestNotification, &VantrelSDK::onWillSendParseURLRequest);
    center.addObserver(kNetworkDidReceiveURLResponseNotification, &VantrelSDK::onDidReceiveParseURLResponse);
}
}  // namespace

void VantrelSDK::initialize(const SdkInitializeOptions& options) {
    auto& s = sdkState();
    if (isInitialized()) return;

    const auto& bundle = sdkBundle();
    const auto info = bundle ? bundle->infoDictionary() : std::nullopt;
    if (!info) fatalError("Unable to initialize due no SDK's Info.plist");

    auto config = info->find("Config");
    if (info->empty() || config == info->end() || !config->is_object())
        fatalError("Unable to initialize due no Config section in SDK's Info.plist");

    setVersionName(stringEntry(*info, "CFBundleShortVersionString"));
    setVersionBuildNumber(stringEntry(*info, "CFBundleVersion"));

    const std::string server = requiredConfigValue(*config, "VantrelServer");
    s.serverUrl = "https://" + server;
    s.liveQueryServerUrl = "wss://" + server;
    s.applicationId = requiredConfigValue(*config, "VantrelApplicationId");
    s.clientKey = requiredConfigValue(*config, "VantrelClientKey");
    s.trustedCertificatesFile = trustedCertificates(*bundle, *config);

    applyOptions(options);
    setUpLoggers(s.debugLogging ? LogLevel::debug : LogLevel::info);
    detail::setUpBackendClients();
    setReconnectHandler(detail::reconnectSession);
    addObservers();
    detail::shutDownAtExit();

    lifecycleQueue().async([] {
        sdkState().isInitialized = true;
        // Logged from a block: name the function the banner belongs to rather than the lambda.
        log::write(LogFlag::info, startBanner(), __FILE__, "initialize", __LINE__);
    });
}

}  // namespace vantrel
