#include "vantrel/core/NotificationCenter.hpp"

#include <algorithm>
#include <utility>
#include <atomic>

namespace vantrel {

struct NotificationCenter::Entry {
    ObserverToken token;
    std::string name;
    Callback callback;
    std::atomic<bool> active{true};
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
    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(), [token](const auto& e) { return e->token == token; });
    if (it == entries_.end()) return;
    (*it)->active.store(false, std::memory_order_release);
    entries_.erase(it);
}

void NotificationCenter::post(const Notification& notification) {
    // Take a snapshot so that callbacks may add or remove observers without deadlocking; an entry
    // removed while the snapshot is being walked is skipped through its `active` flag.
    std::vector<std::shared_ptr<Entry>> snapshot;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            if (entry->name.empty() || entry->name == notification.name) snapshot.push_back(entry);
    }
    for (const auto& entry : snapshot)
        if (entry->active.load(std::memory_order_acquire) && entry->callback) entry->callback(notification);
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
