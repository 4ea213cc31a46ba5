#include "backend/GlobalInit.hpp"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace vantrel::backend_detail {

struct ExitStop::Entry {
    std::mutex mutex;
    std::function<void()> stop;
};

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::weak_ptr<ExitStop::Entry>> entries;  // oldest first
    std::atomic<bool> ran{false};
};

Registry& registry() {
    static auto* instance = new Registry();  // never destroyed: clients end during exit
    return *instance;
}

}  // namespace

ExitStop::ExitStop(std::function<void()> stop) : entry_(std::make_shared<Entry>()) {
    entry_->stop = std::move(stop);
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.entries, [](const auto& entry) { return entry.expired(); });
    r.entries.push_back(entry_);
}

ExitStop::~ExitStop() {
    std::lock_guard lock(entry_->mutex);
    entry_->stop = nullptr;
}

void ExitStop::runAll() {
    auto& r = registry();
    if (r.ran.exchange(true)) return;
    std::vector<std::shared_ptr<Entry>> entries;
    {
        std::lock_guard lock(r.mutex);
        for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it)
            if (auto entry = it->lock()) entries.push_back(std::move(entry));
    }
    for (const auto& entry : entries) {
        std::lock_guard lock(entry->mutex);
        if (auto stop = std::exchange(entry->stop, nullptr)) stop();
    }
}

}  // namespace vantrel::backend_detail
