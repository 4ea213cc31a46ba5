#include "support/ServicesTestSupport.hpp"

#include "core/SdkState.hpp"
#include "services/QueryPattern.hpp"
#include "vantrel/core/FileLogger.hpp"
#include "vantrel/core/Log.hpp"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <any>
#include <thread>

namespace vantrel::test {

namespace {

const char* const kServiceNames[] = {"UnsupportedAppVersionService",
                                     "AuthService",
                                     "CompanyService",
                                     "CatalogService",
                                     "ComponentService",
                                     "AnchorObjectService",
                                     "MaterialService",
                                     "AppListItemService",
                                     "SceneService",
                                     "ModelMeasuringUnitService"};

}  // namespace

// ---- settings -------------------------------------------------------------------------------------

ScopedSdkSettings::ScopedSdkSettings() {
    auto& state = detail::sdkState();
    variant_ = state.variant;
    token_ = state.companyAuthToken;
    period_ = state.dbAccessPeriod;
    versionName_ = VantrelSDK::versionName();
    resetServiceAccessTimes();
}

ScopedSdkSettings::~ScopedSdkSettings() {
    auto& state = detail::sdkState();
    state.variant = variant_;
    state.companyAuthToken = token_;
    state.dbAccessPeriod = period_;
    VantrelSDK::setVersionName(versionName_);
    resetServiceAccessTimes();
}

void ScopedSdkSettings::setVariant(SdkVariant variant) { detail::sdkState().variant = variant; }
void ScopedSdkSettings::setCompanyAuthToken(const std::string& token) { detail::sdkState().companyAuthToken = token; }
void ScopedSdkSettings::setDbAccessPeriod(double seconds) { detail::sdkState().dbAccessPeriod = seconds; }
void ScopedSdkSettings::setVersionName(std::optional<std::string> name) { VantrelSDK::setVersionName(std::move(name)); }

void resetServiceAccessTimes() {
    for (const char* name : kServiceNames) VantrelSDK::setLastDbAccessTime(name, 0);
    // Writes are queued on the registry's serial queue; a read behind them waits for them.
    (void)VantrelSDK::lastDbAccessTime(kServiceNames[0]);
}

// ---- wall clock -----------------------------------------------------------------------------------

ScopedWallClock::ScopedWallClock() : now_(std::make_shared<std::atomic<double>>(detail::wallClockSeconds())) {
    detail::setWallClock([now = now_] { return now->load(); });
}

ScopedWallClock::~ScopedWallClock() { detail::setWallClock({}); }

void ScopedWallClock::advance(double seconds) { now_->store(now_->load() + seconds); }

double ScopedWallClock::now() const { return now_->load(); }

// ---- requests -------------------------------------------------------------------------------------

RequestRecorder::RequestRecorder()
    : observer_(NotificationCenter::defaultCenter(), kNetworkWillSendURLRequestNotification,
                [sent = sent_](const Notification& notification) {
                    auto it = notification.userInfo.find(kNetworkRequestUserInfoKey);
                    if (it == notification.userInfo.end()) return;
                    const auto* record = std::any_cast<HttpRequestRecord>(&it->second);
                    if (!record) return;
                    SentRequest request{record->method, record->url, nullptr};
                    if (record->body) {
                        auto body = nlohmann::json::parse(*record->body, nullptr, false);
                        if (!body.is_discarded()) request.body = std::move(body);
                    }
                    sent.add(std::move(request));
                }) {}

std::vector<SentRequest> RequestRecorder::requests(const std::string& urlPart) const {
    std::vector<SentRequest> matching;
    for (auto& request : sent_.items())
        if (request.url.find(urlPart) != std::string::npos) matching.push_back(request);
    return matching;
}

std::size_t RequestRecorder::countMentioning(const std::string& urlPart, const std::string& text) const {
    std::size_t count = 0;
    for (const auto& request : requests(urlPart))
        if (request.body.dump().find(text) != std::string::npos) ++count;
    return count;
}

// ---- notifications --------------------------------------------------------------------------------

NotificationCounter::NotificationCounter(const std::string& name)
    : observer_(NotificationCenter::defaultCenter(), name,
                [posts = posts_](const Notification& notification) { posts.add(notification.object.has_value()); }) {}

bool NotificationCounter::allWithoutObject() const {
    for (bool hadObject : posts_.items())
        if (hadObject) return false;
    return true;
}

// ---- log ------------------------------------------------------------------------------------------

LogCapture::LogCapture() {
    static const bool installed = [] {
        setUpLoggers(LogLevel::info);
        return true;
    }();
    (void)installed;
    skip_ = readAll().size();
}

std::size_t LogCapture::count(const std::string& text) const {
    const auto all = readAll();
    if (all.size() < skip_) return 0;
    std::size_t count = 0;
    for (auto at = all.find(text, skip_); at != std::string::npos; at = all.find(text, at + text.size())) ++count;
    return count;
}

std::string LogCapture::readAll() {
    auto& logger = sharedFileLogger();
    logger.flush();
    std::string text;
    for (const auto& data : logger.logFileDataArray()) text.append(data.begin(), data.end());
    return text;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// ---- ports ----------------------------------------------------------------------------------------

int unusedLoopbackPort() {
    // Bind to a free port and let it go again: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 9;  // discard: nothing listens there either
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

}  // namespace vantrel::test
