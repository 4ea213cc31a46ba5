#include "backend/QueryCache.hpp"

#include "vantrel/core/Clock.hpp"

namespace vantrel::backend_detail {

QueryCache& QueryCache::shared() {
    static auto* instance = new QueryCache();  // never destroyed: used by requests until exit's stops
    return *instance;
}

QueryCache::QueryCache(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

std::optional<nlohmann::json> QueryCache::get(const std::string& key, std::optional<std::chrono::milliseconds> maxAge) {
    const auto now = Clock::current()->now();
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return std::nullopt;
    if (maxAge && now - it->second.stored > *maxAge) return std::nullopt;
    order_.splice(order_.begin(), order_, it->second.position);
    return it->second.value;
}

void QueryCache::put(const std::string& key, nlohmann::json value) {
    const auto now = Clock::current()->now();
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(key); it != entries_.end()) {
        it->second.value = std::move(value);
        it->second.stored = now;
        order_.splice(order_.begin(), order_, it->second.position);
        return;
    }
    while (entries_.size() >= capacity_ && !order_.empty()) {
        entries_.erase(order_.back());
        order_.pop_back();
    }
    order_.push_front(key);
    entries_.emplace(key, Entry{std::move(value), now, order_.begin()});
}

void QueryCache::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(key); it != entries_.end()) {
        order_.erase(it->second.position);
        entries_.erase(it);
    }
}

void QueryCache::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    order_.clear();
}

std::size_t QueryCache::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace vantrel::backend_detail
