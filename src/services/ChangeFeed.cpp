#include "services/ChangeFeed.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/domain/CatalogAwareEntity.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <algorithm>
#include <cstdint>
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

enum class Change { created, updated, deleted };

class ChangeFeed;

// The announcement a handler runs for, on the handler's thread: what `announceLater` hands on.
struct InProgress {
    std::weak_ptr<ChangeFeed> feed;
    std::optional<std::string> id;
    std::optional<ParseDate> version;
    std::uint64_t sequence = 0;
};
thread_local InProgress* inProgress = nullptr;

// What one subscription knows of the records it watches: their ids and update times, kept
// current by the events, so that after a reconnect the differences can be told apart from what
// was already announced.
//
// Every announcement of the subscription, live or from a catch-up (whose reads answer on HTTP
// threads), goes through `announce`, one at a time: a copy older than what was announced already
// is dropped, a catch-up never contradicts a live event that came after its listing, and once the
// subscription is closed nothing more is announced.
class ChangeFeed : public std::enable_shared_from_this<ChangeFeed> {
public:
    ChangeFeed(std::string label, ChangeHandlers handlers, WatchedRecords watched)
        : label_(std::move(label)), handlers_(std::move(handlers)), watched_(std::move(watched)) {}

    // A live event (entered counts as created, left as deleted).
    void live(Change change, const std::shared_ptr<ParseObject>& record) { announce(change, record, false); }

    // No announcement starts after this returns (one running on another thread is waited for).
    void close() {
        std::lock_guard order(announcing_);
        std::lock_guard lock(mutex_);
        closed_ = true;
    }

    // The server confirmed the subscription: the first time the current state becomes the
    // baseline; every later time (a reconnect) the state is compared with it.
    void confirmed() {
        bool catchUp = false;
        {
            std::lock_guard lock(mutex_);
            if (closed_) return;
            if (listing_) {
                // Confirmed again while a listing runs: compare once more when it is done.
                listAgain_ = true;
                return;
            }
            catchUp = hasBaseline_;
            listing_ = true;
            touched_.clear();
        }
        auto listed = std::make_shared<Versions>();
        listPage(std::nullopt, listed, [self = shared_from_this(), catchUp, listed](bool complete) {
            self->listed(catchUp, complete ? std::optional<Versions>(std::move(*listed)) : std::nullopt);
        });
    }

private:
    // One page of the listing: ids after `after` in ascending order. Pages by key rather than by
    // skip, so that a record deleted between two pages hides no other, and ends on an empty page
    // only, so that a server answering fewer rows than asked for does not cut the listing short.
    void listPage(std::optional<std::string> after, std::shared_ptr<Versions> listed,
                  std::function<void(bool complete)> done) const {
        const auto pointer = pointerTo(watched_.catalog);
        if (!pointer) return done(false);
        ParseQuery listing(watched_.query.className());
        std::vector<std::string> keys{"updatedAt", "catalog"};
        keys.insert(keys.end(), watched_.fileKeyFields.begin(), watched_.fileKeyFields.end());
        listing.whereEqualTo("catalog", *pointer)
            .selectKeys(keys)
            .orderByAscending("objectId")
            .setLimit(kListingPageSize);
        if (after) listing.whereGreaterThan("objectId", *after);
        listing.findInBackground([self = shared_from_this(), listed, done = std::move(done)](
                                     std::vector<std::shared_ptr<ParseObject>> records, OptionalError error) mutable {
            if (error) {
                VLOG_WARNING(self->label_ +
                             " - unable to list records after subscribing due error: " + error->description());
                return done(false);
            }
            if (records.empty()) return done(true);
            std::optional<std::string> last;
            for (const auto& record : records) {
                const auto id = record->objectId();
                const auto version = versionOf(*record);
                if (id && version) (*listed)[*id] = Known{*version, record};
                if (id && (!last || *last < *id)) last = id;
            }
            if (!last) return done(true);
            self->listPage(last, std::move(listed), std::move(done));
        });
    }

    void listed(bool catchUp, std::optional<Versions> now) {
        bool again = false;
        {
            std::lock_guard lock(mutex_);
            listing_ = false;
            again = std::exchange(listAgain_, false);
        }
        // A failed listing keeps the old baseline; the next confirmation tries again.
        if (now) compare(catchUp, std::move(*now));
        if (again) confirmed();
    }

    void compare(bool catchUp, Versions now) {
        std::vector<std::string> added;
        std::vector<std::string> changed;
        std::vector<std::shared_ptr<ParseObject>> vanished;
        {
            std::lock_guard lock(mutex_);
            if (closed_) return;
            // Records that live events touched while the listing ran are known better than the
            // listing knows them: they are not compared, and what the events said stays.
            for (const auto& id : touched_) {
                if (auto it = known_.find(id); it != known_.end())
                    now[id] = it->second;
                else
                    now.erase(id);
            }
            if (catchUp) {
                for (const auto& [id, known] : now) {
                    if (touched_.contains(id)) continue;
                    auto it = known_.find(id);
                    if (it == known_.end())
                        added.push_back(id);
                    else if (it->second.version < known.version)
                        changed.push_back(id);
                }
                for (const auto& [id, known] : known_)
                    if (!now.contains(id) && !touched_.contains(id)) vanished.push_back(known.record);
            }
            touched_.clear();
            known_ = std::move(now);
            hasBaseline_ = true;
        }
        if (!catchUp) return;
        if (!added.empty() || !changed.empty() || !vanished.empty())
            VLOG_INFO(label_ + " - catching up after reconnect: " + std::to_string(added.size()) + " created, " +
                      std::to_string(changed.size()) + " updated, " + std::to_string(vanished.size()) + " deleted.");
        for (const auto& record : vanished) announceVanished(record);
        readAndAnnounce(std::move(added), Change::created);
        readAndAnnounce(std::move(changed), Change::updated);
    }

    // The record is gone: it is announced as it was last seen, with the catalogue it was watched in.
    void announceVanished(const std::shared_ptr<ParseObject>& record) {
        const auto pointer = pointerTo(watched_.catalog);
        if (!record || !pointer) return;
        if (!record->containsKey("catalog")) record->set("catalog", *pointer);
        announce(Change::deleted, record, true);
    }

    void readAndAnnounce(std::vector<std::string> ids, Change change) {
        for (std::size_t start = 0; start < ids.size(); start += kCatchUpBatch) {
            const auto end = std::min(ids.size(), start + kCatchUpBatch);
            ParseQuery query = watched_.query;
            query.whereContainedIn("objectId", idValues({ids.begin() + static_cast<std::ptrdiff_t>(start),
                                                         ids.begin() + static_cast<std::ptrdiff_t>(end)}));
            query.setLimit(static_cast<int>(end - start));
            query.findInBackground([self = shared_from_this(), change](
                                       std::vector<std::shared_ptr<ParseObject>> records, OptionalError error) {
                if (error) {
                    VLOG_ERROR(self->label_ + " - unable to read changed records due error: " + error->description());
                    return;
                }
                for (const auto& record : records) self->announce(change, record, true);
            });
        }
    }

    // Decides, under the state lock, whether `record` is announced, and records what it says.
    bool admit(Change change, const std::shared_ptr<ParseObject>& record, bool catchUp, const std::string& id) {
        std::lock_guard lock(mutex_);
        if (closed_) {
            if (catchUp) VLOG_INFO(label_ + " - unsubscribed: a catch-up change of " + id + " is not announced.");
            return false;
        }
        if (listing_) touched_.insert(id);
        const auto version = versionOf(*record);
        const auto known = known_.find(id);
        if (change == Change::deleted) {
            // A catch-up deletion of a record that live events brought back (or kept) is stale.
            if (catchUp && known != known_.end()) return false;
            known_.erase(id);
            announced_.erase(id);
            deleted_[id] = sequence_ + 1;
            return true;
        }
        if (catchUp && known == known_.end()) return false;  // deleted live since the listing
        if (const auto it = announced_.find(id);
            it != announced_.end() && version && (*version < it->second || (catchUp && *version == it->second))) {
            VLOG_INFO(label_ + " - " + id + " was announced in a newer state already; an older copy is dropped.");
            return false;
        }
        if (version) {
            if (known == known_.end() || known->second.version <= *version) known_[id] = Known{*version, record};
            announced_[id] = *version;
        }
        return true;
    }

    void announce(Change change, const std::shared_ptr<ParseObject>& record, bool catchUp) {
        const auto id = record ? record->objectId() : std::nullopt;
        std::lock_guard order(announcing_);
        if (id && !admit(change, record, catchUp, *id)) return;
        if (!id && closed()) return;
        const auto& handler = change == Change::created   ? handlers_.onCreate
                              : change == Change::updated ? handlers_.onUpdate
                                                          : handlers_.onDelete;
        if (!handler) return;
        InProgress current{weak_from_this(), id, record ? versionOf(*record) : std::nullopt, ++sequence_};
        auto* outer = std::exchange(inProgress, &current);
        handler(record);
        inProgress = outer;
    }

public:
    // The end of an announcement that a handler left to finish later (after a read answered on
    // another thread): it runs in the ordered path unless the feed was closed meanwhile, the record
    // was announced deleted since, or a newer state of it was finished late already.
    void finishLater(const InProgress& started, const std::function<void()>& finish) {
        std::lock_guard order(announcing_);
        {
            std::lock_guard lock(mutex_);
            const std::string id = started.id.value_or("");
            if (closed_) {
                VLOG_INFO(label_ + " - unsubscribed: a change of " + id + " is not announced.");
                return;
            }
            if (started.id) {
                if (const auto it = deleted_.find(id); it != deleted_.end() && it->second > started.sequence) {
                    VLOG_INFO(label_ + " - " + id + " was announced deleted since; its change is not announced.");
                    return;
                }
                if (started.version) {
                    auto [it, added] = finishedLate_.emplace(id, *started.version);
                    if (!added && *started.version < it->second) {
                        VLOG_INFO(label_ + " - " + id +
                                  " was announced in a newer state already; an older copy is dropped.");
                        return;
                    }
                    it->second = *started.version;
                }
            }
        }
        finish();
    }

private:
    bool closed() {
        std::lock_guard lock(mutex_);
        return closed_;
    }

    const std::string label_;
    const ChangeHandlers handlers_;
    const WatchedRecords watched_;
    // Held while one announcement runs; recursive, since a host observer may unsubscribe from
    // inside one (closing the feed on the same thread).
    std::recursive_mutex announcing_;
    std::mutex mutex_;
    Versions known_;
    std::map<std::string, ParseDate> announced_;     // the newest state announced per record
    std::set<std::string> touched_;                  // ids live events touched during the listing
    std::uint64_t sequence_ = 0;                     // announcements handed to a handler so far
    std::map<std::string, std::uint64_t> deleted_;   // per record, the sequence of its last deletion
    std::map<std::string, ParseDate> finishedLate_;  // per record, the newest state finished late
    bool hasBaseline_ = false;
    bool listing_ = false;
    bool listAgain_ = false;
    bool closed_ = false;
};

// The feeds of live subscriptions, so that unsubscribing can close a feed at once: events and
// catch-up reads already on their way are then dropped.
std::mutex feedsMutex;
std::map<const Subscription*, std::weak_ptr<ChangeFeed>>& feeds() {
    static auto* registry = new std::map<const Subscription*, std::weak_ptr<ChangeFeed>>();
    return *registry;
}

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
    auto feed = std::make_shared<ChangeFeed>(label, std::move(handlers), std::move(watched));
    {
        std::lock_guard lock(feedsMutex);
        auto& registry = feeds();
        std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
        registry[subscription.get()] = feed;
    }

    subscription->handleUnsubscribe([label](const ParseQuery&) { VLOG_INFO(label + " - unsubscribed."); });
    subscription->handleSubscribe([label, feed](const ParseQuery&) {
        VLOG_INFO(label + " - subscribed.");
        feed->confirmed();
    });
    subscription->handleError([label](const ParseQuery&, const Error& error) {
        VLOG_ERROR(label + " - unable to subscribe due error: " + error.localizedDescription());
    });

    auto created = [feed](const ParseQuery&, std::shared_ptr<ParseObject> record) {
        feed->live(Change::created, record);
    };
    auto deleted = [feed](const ParseQuery&, std::shared_ptr<ParseObject> record) {
        feed->live(Change::deleted, record);
    };
    subscription->handle(Event::created, created);
    subscription->handle(Event::entered, created);
    subscription->handle(Event::deleted, deleted);
    // A record that left the query no longer matches it: its catalogue is now another one. The
    // record as it was while it matched (sent by the server with the event) is the one that
    // belonged to this catalogue, so that is what the delete rule looks at and announces.
    subscription->handleEvent([feed](const ParseQuery&, Event event, std::shared_ptr<ParseObject> record,
                                     std::shared_ptr<ParseObject> original) {
        if (event == Event::left) feed->live(Change::deleted, original ? original : record);
    });
    subscription->handle(Event::updated, [feed](const ParseQuery&, std::shared_ptr<ParseObject> record) {
        feed->live(Change::updated, record);
    });
}

void closeChangeFeed(const std::shared_ptr<Subscription>& subscription) {
    if (!subscription) return;
    std::shared_ptr<ChangeFeed> feed;
    {
        std::lock_guard lock(feedsMutex);
        auto& registry = feeds();
        if (auto it = registry.find(subscription.get()); it != registry.end()) {
            feed = it->second.lock();
            registry.erase(it);
        }
    }
    if (feed) feed->close();
}

AnnounceLater announceLater() {
    if (inProgress == nullptr) return [](const std::function<void()>& finish) { finish(); };
    // The feed stays until the announcement is decided, so that one dropped for having been
    // unsubscribed is still told in the log.
    return [started = *inProgress, feed = inProgress->feed.lock()](const std::function<void()>& finish) {
        if (feed) feed->finishLater(started, finish);
    };
}

void configurePlainChangeFeed(const std::shared_ptr<Subscription>& subscription, const std::string& label,
                              const std::shared_ptr<CatalogEntity>& catalog, ChangeNotifications notifications,
                              FileKeysOf fileKeysOf, NotificationObject objectOf,
                              std::vector<std::string> fileKeyFields) {
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
            announceDeletion(record, catalog, record ? fileKeysOf(*record) : std::vector<std::string>{}, name,
                             objectOf);
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
