#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel {

/// One posted notification: a plain string name, an optional object and optional user information.
struct Notification {
    /// The notification's name, for example "ComponentUpdatedNotification".
    std::string name;
    /// The object posted with it (a record, a progress value...), empty when none.
    std::any object;
    /// Extra values by key; empty for the library's own notifications.
    std::map<std::string, std::any> userInfo;
};

/// Identifies one registered observer; pass it to `removeObserver`.
using ObserverToken = std::uint64_t;

/// Broadcasts notifications by name. `post` runs the matching observers synchronously on the
/// posting thread; an exception an observer throws is logged and dropped, and the other observers
/// still run. Observers may be added or removed from any thread, including from inside an
/// observer callback: an observer removed before a post starts is never called by it, and
/// `removeObserver` returns only once calls of the observer running on other threads have ended
/// (a call on the removing thread itself, the callback removing its own observer, is not waited
/// for). So an object that unregisters in its destructor is never called once it is gone; do not
/// remove an observer while holding a lock its callback takes.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    /// The process-wide centre.
    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    /// Registers `callback` for notifications named `name` (an empty name observes every name).
    ObserverToken addObserver(std::string name, Callback callback);
    /// Unregisters an observer and waits for its calls running on other threads; unknown tokens
    /// are ignored.
    void removeObserver(ObserverToken token);
    /// Runs the observers of `notification.name` on the calling thread, in registration order.
    void post(const Notification& notification);
    /// Short form: posts `name` with `object` and no user information.
    void post(const std::string& name, std::any object = {});
    /// Number of observers registered now (for diagnostics and tests).
    [[nodiscard]] std::size_t observerCount() const;

private:
    struct Entry;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
    ObserverToken nextToken_ = 1;
};

/// Removes its observer when it goes out of scope.
class ScopedObserver {
public:
    ScopedObserver() = default;
    ScopedObserver(NotificationCenter& center, std::string name, NotificationCenter::Callback callback);
    ~ScopedObserver();
    ScopedObserver(ScopedObserver&& other) noexcept;
    ScopedObserver& operator=(ScopedObserver&& other) noexcept;
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;
    /// Unregisters now (waiting as `removeObserver` does).
    void reset();

private:
    NotificationCenter* center_ = nullptr;
    ObserverToken token_ = 0;
};

}  // namespace vantrel

#pragma GCC visibility pop
