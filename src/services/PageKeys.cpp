#include "services/PageKeys.hpp"

#include "vantrel/backend/ParseUser.hpp"

#include <nlohmann/json.hpp>

namespace vantrel::services_detail {

namespace {

std::string entryKey(const std::string& signature, int position) { return std::to_string(position) + '\n' + signature; }

}  // namespace

std::optional<bool> keyPagingDirection(const ParseQuery& query) {
    const auto parameters = query.findParameters();
    const std::string order = parameters.value("order", "");
    if (order != "objectId" && order != "-objectId") return std::nullopt;
    // An object id constraint that is not a map of operators (an equality) or that already bounds
    // the range would be replaced or narrowed wrongly by the key's bound.
    const auto& where = parameters["where"];
    const auto slot = where.find("objectId");
    if (slot != where.end()) {
        if (!slot->is_object() || slot->contains("__type")) return std::nullopt;
        for (const char* bound : {"$gt", "$gte", "$lt", "$lte"})
            if (slot->contains(bound)) return std::nullopt;
    }
    return order == "objectId";
}

ParseQuery afterKey(ParseQuery query, const std::string& objectId, bool ascending) {
    if (ascending)
        query.whereGreaterThan("objectId", objectId);
    else
        query.whereLessThan("objectId", objectId);
    query.setSkip(0);
    return query;
}

std::string PageKeys::signature(const ParseQuery& query) {
    auto parameters = query.findParameters();
    parameters.erase("limit");
    parameters.erase("skip");
    // Another user may see other records, so positions are remembered per session.
    const auto user = ParseUser::currentUser();
    const auto session = user ? user->sessionToken().value_or("") : std::string();
    return query.className() + '\n' + session + '\n' + parameters.dump();
}

std::optional<std::string> PageKeys::keyBefore(const std::string& signature, int position) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(entryKey(signature, position));
    if (found == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->second;
}

void PageKeys::remember(const std::string& signature, int position, std::string objectId) {
    if (capacity_ == 0) return;
    std::lock_guard lock(mutex_);
    auto key = entryKey(signature, position);
    if (const auto found = index_.find(key); found != index_.end()) {
        found->second->second = std::move(objectId);
        entries_.splice(entries_.begin(), entries_, found->second);
        return;
    }
    entries_.emplace_front(key, std::move(objectId));
    index_.emplace(std::move(key), entries_.begin());
    if (entries_.size() > capacity_) {
        index_.erase(entries_.back().first);
        entries_.pop_back();
    }
}

PageKeys& PageKeys::shared() {
    // Leaked on purpose: reads may still end on worker threads while the process exits.
    static auto* keys = new PageKeys();
    return *keys;
}

}  // namespace vantrel::services_detail
