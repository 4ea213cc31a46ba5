#include "services/ChangeFeed.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <utility>

namespace vantrel::services_detail {

namespace {

// Records per catch-up read; the ids go into one "$in" constraint each.
constexpr std::size_t kCatchUpBatch = 100;
// Page size of the id listing: ids and dates only, so pages can be large.
constexpr int kListingPageSize = 1000;

// What is known of one watched record: when it last changed, and the record as last seen (at least
// its catalogue and the keys its cached files derive from), so that a deletion noticed only later
// can still be announced with it and clear its files.
struct Known {
    ParseDate version;
    std::shared_ptr<ParseObject> record;
};
using Versions = std::map<std::string, Known>;

std::optional<ParseDate> versionOf(const ParseObject& record) {
    if (auto updated = record.updatedAt()) return updated;
    return record.createdAt();
}

// What one subscription knows of the records it watches: their ids and update times, kept
// current by the events, so that after a reconnect the differences can be told apart from what
// was already announced.
class ChangeFeed : public std::enable_shared_from_this<ChangeFeed> {
public:
    ChangeFeed(std::string label, ChangeHandlers handlers, WatchedRecords watched)
        : label_(std::move(label)), handlers_(std::move(handlers)), watched_(std::move(watched)) {}

    void seen(const std::shared_ptr<ParseObject>& record) {
        const auto id = record ? record->objectId() : std::nullopt;
        const auto version = record ? versionOf(*record) : std::nullopt;
        if (!id || !version) return;
        std::lock_guard lock(mutex_);
        auto [it, added] = known_.try_emplace(*id, Known{*version, record});
        if (!added && it->second.version <= *version) it->second = Known{*version, record};
    }

    void gone(const std::shared_ptr<ParseObject>& record) {
        const auto id = record ? record->objectId() : std::nullopt;
        if (!id) return;
        std::lock_guard lock(mutex_);
        known_.erase(*id);
    }

    // The server confirmed the subscription: the first time the current state becomes the
    // baseline; every later time (a reconnect) the state is compared with it.
    void confirmed() {
        bool catchUp = false;
        {
            std::lock_guard lock(mutex_);
            if (listing_ && !hasBaseline_) {
                // Reconnected while the baseline is still being read: compare once it is there.
                compareAfterBaseline_ = true;
                return;
            }
            catchUp = hasBaseline_;
            listing_ = true;
        }
        listVersions([self = shared_from_this(), catchUp](std::optional<Versions> now) {
            self->listed(catchUp, std::move(now));
        });
    }

private:
    void listVersions(std::function<void(std::optional<Versions>)> done) const {
        const auto pointer = pointerTo(watched_.catalog);
        if (!pointer) return done(std::nullopt);
        ParseQuery listing(watched_.query.className());
        std::vector<std::string> keys{"updatedAt", "catalog"};
        keys.insert(keys.end(), watched_.fileKeyFields.begin(), watched_.fileKeyFields.end());
        listing.whereEqualTo("catalog", *pointer).selectKeys(keys);
        listing.orderByAscending("createdAt").addAscendingOrder("objectId");
        listing.findAllInBackground(
            [done = std::move(done), label = label_](std::vector<std::shared_ptr<ParseObject>> records, OptionalError error) {
                if (error) {
                    VLOG_WARNING(label + " - unable to list records after subscribing due error: " + error->description());
                    return done(std::nullopt);
                }
                Versions versions;
                for (const auto& record : records) {
                    const auto id = record->objectId();
                    const auto version = versionOf(*record);
                    if (id && version) versions[*id] = Known{*version, record};
                }
                done(std::move(versions));
            },
            kListingPageSize, 2);
    }

    void listed(bool catchUp, std::optional<Versions> now) {
        bool compareAgain = false;
        {
            std::lock_guard lock(mutex_);
            listing_ = false;
            compareAgain = std::exchange(compareAfterBaseline_, false);
        }
        // A failed listing keeps the old baseline; the next confirmation tries again.
        if (now) compare(catchUp, std::move(*now));
        if (compareAgain) confirmed();
    }

    void compare(bool catchUp, Versions now) {
        std::vector<std::string> added;
        std::vector<std::string> changed;
        std::vector<std::shared_ptr<ParseObject>> vanished;
        {
            std::lock_guard lock(mutex_);
            if (catchUp) {
                for (const auto& [id, known] : now) {
                    auto it = known_.find(id);
                    if (it == known_.end()) added.push_back(id);
                    else if (it->second.version < known.version) changed.push_back(id);
                }
                for (const auto& [id, known] : known_)
                    if (!now.contains(id)) vanished.push_back(known.record);
            }
            // Events that arrived while the listing ran may be newer than what it saw.
            for (auto& [id, known] : now)
                if (auto it = known_.find(id); it != known_.end() && known.version < it->second.version) known = it->second;
            known_ = std::move(now);
            hasBaseline_ = true;
        }
        if (!catchUp) return;
        if (!added.empty() || !changed.empty() || !vanished.empty())
            VLOG_INFO(label_ + " - catching up after reconnect: " + std::to_string(added.size()) + " created, " +
                      std::to_string(changed.size()) + " updated, " + std::to_string(vanished.size()) + " deleted.");
        for (const auto& record : vanished) announceVanished(record);
        readAndAnnounce(std::move(added), handlers_.onCreate);
        readAndAnnounce(std::move(changed), handlers_.onUpdate);
    }

    // The record is gone: it is announced as it was last seen, with the catalogue it was watched in.
    void announceVanished(const std::shared_ptr<ParseObject>& record) const {
        const auto pointer = pointerTo(watched_.catalog);
        if (!record || !pointer) return;
        if (!record->containsKey("catalog")) record->set("catalog", *pointer);
        handlers_.onDelete(record);
    }

    void readAndAnnounce(std::vector<std::string> ids, const RecordHandler& handler) const {
        for (std::size_t start = 0; start < ids.size(); start += kCatchUpBatch) {
            const auto end = std::min(ids.size(), start + kCatchUpBatch);
            ParseQuery query = watched_.query;
            query.whereContainedIn("objectId", idValues({ids.begin() + static_cast<std::ptrdiff_t>(start),
                                                         ids.begin() + static_cast<std::ptrdiff_t>(end)}));
            query.setLimit(static_cast<int>(end - start));
            query.findInBackground([handler, label = label_](std::vector<std::shared_ptr<ParseObject>> records, OptionalError error) {
                if (error) {
                    VLOG_ERROR(label + " - unable to read changed records due error: " + error->description());
                    return;
                }
                for (const auto& record : records) handler(record);
            });
        }
    }

    const std::string label_;
    const ChangeHandlers handlers_;
    const WatchedRecords watched_;
    std::mutex mutex_;
    Versions known_;
    bool hasBaseline_ = false;
    bool listing_ = false;
    bool compareAfterBaseline_ = false;
};

}  // namespace

bool belongsToCatalog(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog) {
    const auto* entity = dynamic_cast<const CatalogAwareEntity*>(record.get());
    if (entity == nullptr || !catalog) return false;
    const auto own = entity->catalog();
    return own && own->isEqual(*catalog);
}

void announceChange(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog,
                    const char* notification, NotificationObject objectOf) {
    if (!belongsToCatalog(record, catalog)) return;
    if (static_cast<const CatalogAwareEntity&>(*record).isInDraft()) return;
    ParseQuery::clearAllCachedResults();
    NotificationCenter::defaultCenter().post(notification, objectOf(record));
}

void announceDeletion(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog,
                      const std::vector<std::string>& fileKeys, const char* notification, NotificationObject objectOf) {
    if (!belongsToCatalog(record, catalog)) return;
    for (const auto& key : fileKeys) DownloadingService::sharedInstance().removeFromLocalCache(key);
    ParseQuery::clearAllCachedResults();
    NotificationCenter::defaultCenter().post(notification, objectOf(record));
}

void configureChangeFeed(const std::shared_ptr<Subscription>& subscription, const std::string& label,
                         ChangeHandlers handlers, WatchedRecords watched) {
    if (!subscription) return;
    auto feed = std::make_shared<ChangeFeed>(label, handlers, std::move(watched));

    subscription->handleUnsubscribe([label](const ParseQuery&) { VLOG_INFO(label + " - unsubscribed."); });
    subscription->handleSubscribe([label, feed](const ParseQuery&) {
        VLOG_INFO(label + " - subscribed.");
        feed->confirmed();
    });
    subscription->handleError([label](const ParseQuery&, const Error& error) {
        VLOG_ERROR(label + " - unable to subscribe due error: " + error.localizedDescription());
    });

    auto created = [feed, onCreate = handlers.onCreate](const ParseQuery&, std::shared_ptr<ParseObject> record) {
        feed->seen(record);
        onCreate(record);
    };
    auto deleted = [feed, onDelete = handlers.onDelete](const ParseQuery&, std::shared_ptr<ParseObject> record) {
        feed->gone(record);
        onDelete(record);
    };
    subscription->handle(Event::created, created);
    subscription->handle(Event::entered, created);
    subscription->handle(Event::deleted, deleted);
    // A record that left the query no longer matches it: its catalogue is now another one. The
    // record as it was while it matched (sent by the server with the event) is the one that
    // belonged to this catalogue, so that is what the delete rule looks at and announces.
    subscription->handleEvent([feed, onDelete = handlers.onDelete](const ParseQuery&, Event event,
                                                                   std::shared_ptr<ParseObject> record,
                                                                   std::shared_ptr<ParseObject> original) {
        if (event != Event::left) return;
        feed->gone(record);
        onDelete(original ? original : record);
    });
    subscription->handle(Event::updated, [feed, onUpdate = handlers.onUpdate](const ParseQuery&,
                                                                             std::shared_ptr<ParseObject> record) {
        feed->seen(record);
        onUpdate(record);
    });
}

void configurePlainChangeFeed(const std::shared_ptr<Subscription>& subscription, const std::string& label,
                              const std::shared_ptr<CatalogEntity>& catalog, ChangeNotifications notifications,
                              FileKeysOf fileKeysOf, NotificationObject objectOf, std::vector<std::string> fileKeyFields) {
    if (!subscription) return;
    ChangeHandlers handlers{
        [catalog, name = notifications.created, objectOf](const std::shared_ptr<ParseObject>& record) {
            announceChange(record, catalog, name, objectOf);
        },
        [catalog, name = notifications.updated, objectOf](const std::shared_ptr<ParseObject>& record) {
            announceChange(record, catalog, name, objectOf);
        },
        [catalog, name = notifications.deleted, objectOf,
         fileKeysOf = std::move(fileKeysOf)](const std::shared_ptr<ParseObject>& record) {
            announceDeletion(record, catalog, record ? fileKeysOf(*record) : std::vector<std::string>{}, name, objectOf);
        },
    };
    configureChangeFeed(subscription, label, std::move(handlers),
                        {subscription->query(), catalog, std::move(fileKeyFields)});
}

std::vector<std::string> cachedFileKeysOf(const ParseObject& record) {
    const auto* entity = dynamic_cast<const CatalogAwareEntity*>(&record);
    return entity != nullptr ? entity->cachedFileKeys() : std::vector<std::string>{};
}

}  // namespace vantrel::services_detail
