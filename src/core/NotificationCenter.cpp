#include "vantrel/core/NotificationCenter.hpp"

#include "core/HostCall.hpp"

#include <algorithm>
#include <condition_variable>
#include <thread>
#include <utility>

namespace vantrel {

// One observer. `calls` lists the threads running its callback now, so that a removal can wait
// for them (all but its own: a callback may remove its own observer).
struct NotificationCenter::Entry {
    ObserverToken token;
    std::string name;
    Callback callback;
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::thread::id> calls;
    bool active = true;

    // Runs the callback unless the observer was removed; false when it was.
    bool call(const Notification& notification) {
        const auto self = std::this_thread::get_id();
        {
            std::lock_guard lock(mutex);
            if (!active) return false;
            calls.push_back(self);
        }
        detail::callHostCode("an observer of", notification.name, [&] { callback(notification); });
        {
            std::lock_guard lock(mutex);
            calls.erase(std::find(calls.begin(), calls.end(), self));
        }
        finished.notify_all();
        return true;
    }

    // Stops further calls and waits for those of other threads that are running.
    void deactivate() {
        const auto self = std::this_thread::get_id();
        std::unique_lock lock(mutex);
        active = false;
        finished.wait(lock,
                      [&] { return std::all_of(calls.begin(), calls.end(), [&](auto id) { return id == self; }); });
    }
};

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: observers may post from threads that outlive static destruction.
    static auto* center = new NotificationCenter();
    return *center;
}

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(std::string name, Callback callback) {
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->callback = std::move(callback);
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(entry);
    return entry->token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(), [token](const auto& e) { return e->token == token; });
        if (it == entries_.end()) return;
        entry = std::move(*it);
        entries_.erase(it);
    }
    // Outside the centre's lock: the callbacks waited for may post, add or remove observers.
    entry->deactivate();
}

void NotificationCenter::post(const Notification& notification) {
    // Take a snapshot so that callbacks may add or remove observers without deadlocking; an entry
    // removed while the snapshot is being walked is skipped, and its removal waits for a call
    // already under way.
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            if (entry->name.empty() || entry->name == notification.name) snapshot.push_back(entry);
    }
    for (const auto& entry : snapshot)
        if (entry->callback) entry->call(notification);
}

void NotificationCenter::post(const std::string& name, std::any object) {
    post(Notification{name, std::move(object), {}});
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

ScopedObserver::ScopedObserver(NotificationCenter& center, std::string name, NotificationCenter::Callback callback)
    : center_(&center), token_(center.addObserver(std::move(name), std::move(callback))) {}

ScopedObserver::~ScopedObserver() { reset(); }

ScopedObserver::ScopedObserver(ScopedObserver&& other) noexcept
    : center_(std::exchange(other.center_, nullptr)), token_(std::exchange(other.token_, 0)) {}

ScopedObserver& ScopedObserver::operator=(ScopedObserver&& other) noexcept {
    if (this != &other) {
        reset();
        center_ = std::exchange(other.center_, nullptr);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void ScopedObserver::reset() {
    if (center_ != nullptr) center_->removeObserver(token_);
    center_ = nullptr;
    token_ = 0;
}

}  // namespace vantrel
