#pragma once

// The live side of the catalogue services: one subscription per record kind on the current
// catalogue, its log lines, the routing of the five event kinds to create / update / delete
// handlers, the handlers' shared rules, and the catch-up that announces what changed while the
// connection was down.

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/Subscription.hpp"
#include "vantrel/domain/CatalogEntity.hpp"

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::services_detail {

/// Handles one record of a live event (or of a catch-up).
using RecordHandler = std::function<void(const std::shared_ptr<ParseObject>& record)>;

/// The three handlers every catalogue service has.
struct ChangeHandlers {
    RecordHandler onCreate;
    RecordHandler onUpdate;
    RecordHandler onDelete;
};

/// What a service's subscription watches, for the catch-up after a reconnect.
struct WatchedRecords {
    /// The subscription query (constraints and included pointers).
    ParseQuery query;
    /// The catalogue the query is bound to.
    std::shared_ptr<CatalogEntity> catalog;
    /// The keys the records' cached file keys derive from, read with the listing so that a record
    /// deleted while the connection was down still clears its files.
    std::vector<std::string> fileKeyFields;
};

/// The object a change notification carries: the record as its own class
/// (`std::shared_ptr<ComponentEntity>` for a component), so hosts cast to what they listen for.
using NotificationObject = std::any (*)(const std::shared_ptr<ParseObject>& record);

/// `NotificationObject` of the record class `T`.
template <class T>
std::any recordObject(const std::shared_ptr<ParseObject>& record) {
    return std::dynamic_pointer_cast<T>(record);
}

/// True when `record` is a catalogue record of `catalog` (compared by object id; records in
/// events carry their catalogue as a pointer stub).
bool belongsToCatalog(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog);

/// The create and update rule of plain records: another catalogue's record or one in draft is
/// ignored; otherwise the query cache is dropped and `notification` posted with the record.
void announceChange(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog,
                    const char* notification, NotificationObject objectOf);

/// The delete rule: another catalogue's record is ignored (drafts are not); otherwise each of
/// `fileKeys` leaves the local file cache, the query cache is dropped and `notification` posted.
void announceDeletion(const std::shared_ptr<ParseObject>& record, const std::shared_ptr<CatalogEntity>& catalog,
                      const std::vector<std::string>& fileKeys, const char* notification, NotificationObject objectOf);

/// Registers on `subscription`, in this order: the unsubscribed and subscribed log lines, the
/// error log line, and the handlers of created, entered, deleted, left and updated events
/// (entered as created, left as deleted). `label` starts the log lines ("Materials").
///
/// Beyond the plain routing, the subscription keeps the object ids and update times of the
/// watched records; when the server confirms the subscription again after a lost connection,
/// the records are listed once more (by ascending object id) and every difference goes through
/// the same handlers: new records as created, changed ones as updated, vanished ones as deleted
/// (as last seen). Records that live events touch while the listing runs are left out of the
/// comparison. Announcements go one at a time; an older copy of a record than one announced
/// already is dropped, and nothing is announced once `closeChangeFeed` ran.
void configureChangeFeed(const std::shared_ptr<Subscription>& subscription, const std::string& label,
                         ChangeHandlers handlers, WatchedRecords watched);

/// Ends the announcements of the feed configured on `subscription`: from the moment this returns
/// no event or catch-up of it is announced any more (one running on another thread is waited
/// for). Unsubscribing calls it.
void closeChangeFeed(const std::shared_ptr<Subscription>& subscription);

/// Finishes an announcement later, in the feed's order: runs its argument unless the feed was
/// closed meanwhile, the record was announced deleted since, or a newer state of it was finished
/// late already.
using AnnounceLater = std::function<void(const std::function<void()>& finish)>;

/// Called from inside a handler whose announcement needs a read first (answered on another
/// thread): the way to finish it. Outside a handler the returned function just runs its argument.
AnnounceLater announceLater();

/// The notification names of one record kind.
struct ChangeNotifications {
    const char* created;
    const char* updated;
    const char* deleted;
};

/// The files a deleted record leaves behind in the local cache.
using FileKeysOf = std::function<std::vector<std::string>(const ParseObject& record)>;

/// `configureChangeFeed` with the plain rules: `announceChange` for creations and updates,
/// `announceDeletion` of the record's `fileKeysOf` for deletions.
void configurePlainChangeFeed(const std::shared_ptr<Subscription>& subscription, const std::string& label,
                              const std::shared_ptr<CatalogEntity>& catalog, ChangeNotifications notifications,
                              FileKeysOf fileKeysOf, NotificationObject objectOf,
                              std::vector<std::string> fileKeyFields);

/// The file keys a catalogue record caches (`cachedFileKeys`).
std::vector<std::string> cachedFileKeysOf(const ParseObject& record);

/// The texture file keys of a record with `textureFilePaths` (materials, scenes), in key order.
template <class T>
std::vector<std::string> textureFileKeysOf(const ParseObject& record) {
    std::vector<std::string> keys;
    if (const auto* entity = dynamic_cast<const T*>(&record))
        for (const auto& [name, key] : entity->textureFilePaths()) keys.push_back(key);
    return keys;
}

}  // namespace vantrel::services_detail
