#pragma once

// The one way every data service reads the backend: the access-period rule that picks the cache
// policy, the page loop of list reads, the three result processors and the session-error rule.

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/core/Error.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::services_detail {

using ObjectBlock = std::function<void(std::shared_ptr<ParseObject> object, OptionalError error)>;
using ObjectsBlock = std::function<void(std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error)>;

/// Records per page of a list read; a shorter page is the last.
inline constexpr std::size_t kPageSize = 100;

// ---- query set-up -------------------------------------------------------------------------------

/// The access-period rule: within `dbAccessPeriod` of the service's last network query the cache
/// may answer (cache, else network); otherwise the query goes to the network and the time is
/// recorded as the service's last access.
void applyAccessPeriod(ParseQuery& query, const std::string& serviceName);

// ---- errors -------------------------------------------------------------------------------------

/// Codes 101 (object not found) and 120 (cache miss): nothing found, never an error to callers.
bool isNotFound(const Error& error);
/// The codes that mean the session is no longer valid: 119, 140, 155, 206, 209, 251.
bool isSessionError(const Error& error);
/// The backend could not be reached or did not answer in time (codes 100, 124).
bool isBackendUnreachable(const Error& error);
/// Signs the user out, announcing it, when `error` is a session error.
void applySessionErrorRule(const Error& error);

// ---- result processors --------------------------------------------------------------------------

/// One record: not found gives (none, none); other errors are logged, may end the session, and
/// reach the block; otherwise the record.
void processResult(std::shared_ptr<ParseObject> result, OptionalError error, const ObjectBlock& block);
/// One page of a list read. Returns the page to go on with; none when the read is over: not
/// found ends it with `gathered` and no error, other errors (logged, session rule) with an empty
/// list and the error.
std::optional<std::vector<std::shared_ptr<ParseObject>>> processAllResult(
    std::vector<std::shared_ptr<ParseObject>> result, OptionalError error,
    std::vector<std::shared_ptr<ParseObject>>& gathered, const ObjectsBlock& block);
/// A count: not found gives (0, none); other errors (logged, session rule) give (0, error).
void processCountResult(int count, OptionalError error, const CountResultBlock& block);

// ---- runs ---------------------------------------------------------------------------------------

/// Reads the record `objectId` of the query's class (the rule decides the final policy).
void getObjectById(ParseQuery query, const std::string& objectId, const std::string& serviceName, ObjectBlock block);
/// Reads the first record matching `query`.
void getFirstObject(ParseQuery query, const std::string& serviceName, ObjectBlock block);
/// Reads every record matching `query` in pages: `max` records per page (100 when absent),
/// starting at `offset` (0 when absent), until a page holds fewer than 100 records.
void findAllObjects(ParseQuery query, std::optional<int> offset, std::optional<int> max, const std::string& serviceName,
                    ObjectsBlock block);
/// Counts the records matching `query`.
void countObjects(ParseQuery query, const std::string& serviceName, CountResultBlock block);

// ---- typed blocks -------------------------------------------------------------------------------

/// Hands the object on as a `T` (none when it is not one).
template <class T>
ObjectBlock typed(RecordResultBlock<T> block) {
    return [block = std::move(block)](std::shared_ptr<ParseObject> object, OptionalError error) {
        if (block) block(std::dynamic_pointer_cast<T>(std::move(object)), std::move(error));
    };
}

/// Hands the objects on as `T`s, leaving out any that is not one.
template <class T>
ObjectsBlock typedList(RecordsResultBlock<T> block) {
    return [block = std::move(block)](std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error) {
        std::vector<std::shared_ptr<T>> records;
        records.reserve(objects.size());
        for (auto& object : objects)
            if (auto record = std::dynamic_pointer_cast<T>(std::move(object))) records.push_back(std::move(record));
        if (block) block(std::move(records), std::move(error));
    };
}

/// A query's constraint value for `record`, or none when the record cannot be pointed at (absent
/// or never saved): such a constraint would match records without the key, which is never meant.
std::optional<ParseValue> pointerTo(const std::shared_ptr<ParseObject>& record);

/// The object ids as constraint values.
std::vector<ParseValue> idValues(const std::vector<std::string>& ids);

}  // namespace vantrel::services_detail
