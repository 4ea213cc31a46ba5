#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/ResourceBundle.hpp"

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

class FileLogger;

/// The two behaviours of the library: company employees signing in (B2B) or a consumer app
/// signing in with the company's token (B2C).
enum class SdkVariant { B2B, B2C };

/// Keys of the options dictionary given to `VantrelSDK::initialize`.
enum class SdkInitializeOption {
    /// SdkVariant; default B2B.
    variant,
    /// std::string; the credential of B2C sign-in; blank or mistyped values give "".
    companyAuthToken,
    /// double seconds; how long the query cache may answer after a service's last network query.
    dbAccessPeriod,
    /// bool; debug-level logging, backend client and network logging.
    debugLogging,
    /// bool; rendering statistics and debug overlays in the views.
    debug3d,
    /// bool; AR light estimation (default true).
    lightEstimateEnabled,
};

/// The options dictionary. An empty std::any stands for nil. Values of the wrong type are ignored.
using SdkInitializeOptions = std::map<SdkInitializeOption, std::any>;

/// The library's entry: initialization, the process-wide settings, the reconnect on activation
/// and the shutdown. Static members only; there is no instance.
class VantrelSDK {
public:
    VantrelSDK() = delete;

    /// Starts the library: reads the resource bundle's configuration, applies `options`, installs
    /// the loggers, configures the backend clients and observes the host's activation. A faulty
    /// configuration stops the process with a fatal message. Later calls are ignored.
    static void initialize(const SdkInitializeOptions& options);
    /// Stops the library's clients, in this order, each joined before the next: the live-query
    /// client (its handlers finish first), the file transfers, the backend client (requests still
    /// running end with code 100 and their completion blocks run before this returns), then what
    /// those blocks left on the global queue. Afterwards every request, transfer and subscription
    /// ends at once with code 100; the settings and the local caches stay readable. Runs by itself
    /// at process exit after `initialize`; call it earlier to end the library's work at a time of
    /// the host's choosing. Idempotent; do not call it from inside a completion block.
    static void shutdown();

    // ---- version ------------------------------------------------------------------------------
    /// `versionName` followed by "B" and `versionBuildNumber` when there is a build number.
    static std::string version();
    /// The library's marketing version, from the bundle's "CFBundleShortVersionString".
    static std::optional<std::string> versionName();
    static void setVersionName(std::optional<std::string> name);
    /// The library's build number, from the bundle's "CFBundleVersion".
    static std::optional<std::string> versionBuildNumber();
    static void setVersionBuildNumber(std::optional<std::string> number);

    // ---- settings -----------------------------------------------------------------------------
    /// The library's resource bundle, located on first use.
    static const std::optional<ResourceBundle>& sdkBundle();
    /// "https://" followed by the configured server.
    static const std::string& serverUrl();
    /// "wss://" followed by the configured server.
    static const std::string& liveQueryServerUrl();
    /// The backend's application id.
    static const std::string& applicationId();
    /// The backend's client key.
    static const std::string& clientKey();
    /// Extra certificate authorities the backend clients trust (PEM file), empty when none:
    /// the environment variable VANTREL_CA_FILE, else the configuration's "VantrelCACertificate"
    /// (relative paths are read from the bundle's directory).
    static const std::string& trustedCertificatesFile();
    static SdkVariant variant();
    static const std::string& companyAuthToken();
    static double dbAccessPeriod();
    static bool debugLogging();
    static bool debug3d();
    static bool lightEstimateEnabled();
    /// True once initialization has finished (read on `lifecycleQueue`).
    static bool isInitialized();
    /// True when `variant` is B2B.
    static bool isB2B();
    /// True when `variant` is B2C.
    static bool isB2C();
    /// True when `text` is blank (empty after trimming whitespace and newlines) or exactly "/".
    static bool isRootGroup(std::string_view text);
    /// The rolling file logger; exists before initialization.
    static FileLogger& fileLogger();

    // ---- queues -------------------------------------------------------------------------------
    /// Serializes the initialized flag and every reconnect.
    static DispatchQueue& lifecycleQueue();
    /// Guards the last-access registry.
    static DispatchQueue& lastDbAccessQueue();

    // ---- last-access registry -----------------------------------------------------------------
    /// Time (seconds since 1970) of the named service's last network query; 0 for unknown names.
    static double lastDbAccessTime(const std::string& serviceName);
    /// Records the time of the named service's last network query; unknown names change nothing.
    static void setLastDbAccessTime(const std::string& serviceName, double time);
    /// The cache policy a service's next query uses: 3 (cache, else network) within
    /// `dbAccessPeriod` of its last network query, else 2 (network only), stamping the time.
    static int cachePolicyForQuery(const std::string& serviceName);

    // ---- notification names -----------------------------------------------------------------
    // Posted on the default NotificationCenter, synchronously on the producing thread. Record
    // changes carry the record as its own class (std::shared_ptr<ComponentEntity> for the
    // component names, and so on); progress names carry a ProgressInfo; the others nothing.
    static constexpr const char* signOutNotification = "SignOutNotification";
    static constexpr const char* conceptCreatedNotification = "ConceptCreatedNotification";
    static constexpr const char* conceptUpdatedNotification = "ConceptUpdatedNotification";
    static constexpr const char* conceptDeletedNotification = "ConceptDeletedNotification";
    static constexpr const char* componentCreatedNotification = "ComponentCreatedNotification";
    static constexpr const char* componentUpdatedNotification = "ComponentUpdatedNotification";
    static constexpr const char* componentDeletedNotification = "ComponentDeletedNotification";
    static constexpr const char* appListItemCreatedNotification = "AppListItemCreatedNotification";
    static constexpr const char* appListItemUpdatedNotification = "AppListItemUpdatedNotification";
    static constexpr const char* appListItemDeletedNotification = "AppListItemDeletedNotification";
    static constexpr const char* materialCreatedNotification = "MaterialCreatedNotification";
    static constexpr const char* materialUpdatedNotification = "MaterialUpdatedNotification";
    static constexpr const char* materialDeletedNotification = "MaterialDeletedNotification";
    static constexpr const char* sceneCreatedNotification = "SceneCreatedNotification";
    static constexpr const char* sceneUpdatedNotification = "SceneUpdatedNotification";
    static constexpr const char* sceneDeletedNotification = "SceneDeletedNotification";
    static constexpr const char* anchorObjectCreatedNotification = "AnchorObjectCreatedNotification";
    static constexpr const char* anchorObjectUpdatedNotification = "AnchorObjectUpdatedNotification";
    static constexpr const char* anchorObjectDeletedNotification = "AnchorObjectDeletedNotification";
    static constexpr const char* unsupportedAppVersionNotification = "UnsupportedAppVersionNotification";
    static constexpr const char* componentProgressNotification = "ComponentProgressNotification";
    static constexpr const char* materialProgressNotification = "MaterialProgressNotification";
    static constexpr const char* sceneProgressNotification = "SceneProgressNotification";

    // ---- activation ---------------------------------------------------------------------------
    /// Name of the host's activation notification; posting it runs the reconnect.
    static constexpr const char* applicationDidBecomeActiveNotification = "UIApplicationDidBecomeActiveNotification";
    /// Observer entry of the host's activation: submits the reconnect to `lifecycleQueue`.
    static void applicationDidBecomeActive();
    /// Sets the step the reconnect runs on activation (installed by the services layer).
    static void setReconnectHandler(std::function<void()> handler);
    /// The reconnect: runs on `lifecycleQueue`. Before initialization has finished it looks again
    /// every 5 seconds (on the library clock); afterwards it runs the reconnect step once.
    static void _reconnect();
    /// Sets the device-integrity check run on the main queue at every activation: it answers true
    /// when the device is compromised, and the library then clears its local caches, signs the
    /// user out and ends the process. Without a check every device passes.
    static void setDeviceIntegrityCheck(std::function<bool()> isCompromised);
    /// The device-integrity check set by the host; empty when none.
    static std::function<bool()> deviceIntegrityCheck();

    // ---- network logging ----------------------------------------------------------------------
    /// Logs a request the backend client is about to send (debug logging only).
    static void onWillSendParseURLRequest(const Notification& notification);
    /// Logs a response the backend client received (debug logging only).
    static void onDidReceiveParseURLResponse(const Notification& notification);

    /// The start banner's text.
    static std::string startBanner();
};

}  // namespace vantrel

#pragma GCC visibility pop
