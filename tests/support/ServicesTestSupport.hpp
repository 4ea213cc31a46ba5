#pragma once

// Helpers for the data-service tests: the facade's settings for one test, a wall clock the test
// moves, the requests the backend client sends, notifications and log lines counted with bounded
// waits.

#include "support/BackendAwait.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

/// Sets the facade's variant, token, access period and version for one test and puts the old
/// values back afterwards. Also forgets every service's last access time, before and after.
class ScopedSdkSettings {
public:
    ScopedSdkSettings();
    ~ScopedSdkSettings();
    ScopedSdkSettings(const ScopedSdkSettings&) = delete;
    ScopedSdkSettings& operator=(const ScopedSdkSettings&) = delete;

    void setVariant(SdkVariant variant);
    void setCompanyAuthToken(const std::string& token);
    void setDbAccessPeriod(double seconds);
    void setVersionName(std::optional<std::string> name);

private:
    SdkVariant variant_;
    std::string token_;
    double period_;
    std::optional<std::string> versionName_;
};

/// Sets every service's last access time to 0 and waits until the registry holds it.
void resetServiceAccessTimes();

/// The access-period rule's wall clock, standing still until the test moves it.
class ScopedWallClock {
public:
    /// Starts at the real time now.
    ScopedWallClock();
    ~ScopedWallClock();
    ScopedWallClock(const ScopedWallClock&) = delete;
    ScopedWallClock& operator=(const ScopedWallClock&) = delete;
    void advance(double seconds);
    [[nodiscard]] double now() const;

private:
    std::shared_ptr<std::atomic<double>> now_;
};

/// One request the backend client sent.
struct SentRequest {
    std::string method;
    std::string url;
    nlohmann::json body;  // null when there was none or it was not JSON
};

/// Records the requests the backend client sends while it lives.
class RequestRecorder {
public:
    RequestRecorder();
    /// Requests whose URL contains `urlPart`.
    [[nodiscard]] std::vector<SentRequest> requests(const std::string& urlPart = {}) const;
    /// Requests whose URL contains `urlPart` and whose body mentions `text` anywhere.
    [[nodiscard]] std::size_t countMentioning(const std::string& urlPart, const std::string& text) const;

private:
    Collector<SentRequest> sent_;
    ScopedObserver observer_;
};

/// Counts the posts of one notification name while it lives.
class NotificationCounter {
public:
    explicit NotificationCounter(const std::string& name);
    [[nodiscard]] std::size_t count() const { return posts_.items().size(); }
    /// Waits until at least `count` posts arrived.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = kBackendWait) const {
        return posts_.waitForCount(count, timeout);
    }
    /// True when the posts carried no object.
    [[nodiscard]] bool allWithoutObject() const;

private:
    Collector<bool> posts_;  // per post: whether it carried an object
    ScopedObserver observer_;
};

/// The library's log file, read back: lines are counted from the moment the capture started.
class LogCapture {
public:
    LogCapture();
    /// Lines written since the capture started that contain `text`.
    [[nodiscard]] std::size_t count(const std::string& text) const;

private:
    std::size_t skip_ = 0;
    [[nodiscard]] static std::string readAll();
};

/// Polls `condition` every 10 ms until it holds or `timeout` passed; its last value. For effects
/// that announce themselves only in the log or in a state, with no callback to wait on.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));

/// A loopback port on which nothing listens: what a client meets when the server has stopped.
int unusedLoopbackPort();

}  // namespace vantrel::test
