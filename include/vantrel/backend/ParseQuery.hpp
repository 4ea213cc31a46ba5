#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/backend/ParseValue.hpp"
#include "vantrel/core/Error.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

/// Where a query looks for its answer. The numbers are the Parse SDKs' own.
enum class CachePolicy : int {
    /// Network only; the answer is not stored in the query cache.
    ignoreCache = 0,
    /// The query cache only; a miss fails with code 120.
    cacheOnly = 1,
    /// Network only; the answer is stored in the query cache.
    networkOnly = 2,
    /// The cached answer when there is one, otherwise the network (whose answer is stored).
    /// A miss is never an error: the network decides.
    cacheElseNetwork = 3,
    /// The network; when it cannot be reached (code 100 or 124), the cached answer if any.
    networkElseCache = 4,
};

/// Completion of list queries: the objects (never absent, empty when none) and the error.
using ParseArrayResultBlock =
    std::function<void(std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error)>;
/// Completion of count queries.
using ParseCountResultBlock = std::function<void(int count, OptionalError error)>;

/// A query of one backend class: constraints, order, paging, included pointers and selected keys.
///
/// A query is a value: copy it freely; running it takes a snapshot, so it may be changed while a
/// run is in flight. Completion blocks run on the client's worker threads (not the main queue).
///
/// Errors: code 101 when getFirst / getObject find nothing, 120 for a cache-only miss, transport
/// codes of ParseError.hpp, and whatever the server answered (102 invalid query, 209 invalid
/// session...).
class ParseQuery {
public:
    /// A query of `className`.
    explicit ParseQuery(std::string className);

    /// The queried class.
    [[nodiscard]] const std::string& className() const noexcept { return className_; }

    // ---- constraints ------------------------------------------------------------------------
    /// `key` equals `value`. For a relation key and an object, "the relation contains it".
    ParseQuery& whereEqualTo(const std::string& key, const ParseValue& value);
    /// `key` differs from `value`.
    ParseQuery& whereNotEqualTo(const std::string& key, const ParseValue& value);
    /// `key` equals one of `values` (for an array column: contains one of them).
    ParseQuery& whereContainedIn(const std::string& key, const std::vector<ParseValue>& values);
    /// `key` equals none of `values`.
    ParseQuery& whereNotContainedIn(const std::string& key, const std::vector<ParseValue>& values);
    /// `key` holds a value (null counts as no value on the server).
    ParseQuery& whereExists(const std::string& key);
    /// `key` holds no value.
    ParseQuery& whereDoesNotExist(const std::string& key);
    /// `key` > value.
    ParseQuery& whereGreaterThan(const std::string& key, const ParseValue& value);
    /// `key` >= value.
    ParseQuery& whereGreaterThanOrEqualTo(const std::string& key, const ParseValue& value);
    /// `key` < value.
    ParseQuery& whereLessThan(const std::string& key, const ParseValue& value);
    /// `key` <= value.
    ParseQuery& whereLessThanOrEqualTo(const std::string& key, const ParseValue& value);
    /// The objects related to `object` under its relation `key` ($relatedTo).
    ParseQuery& whereRelatedTo(const std::shared_ptr<ParseObject>& object, const std::string& key);

    // ---- shape of the answer ----------------------------------------------------------------
    /// Pointers under `key` (dotted paths allowed) arrive filled.
    ParseQuery& includeKey(const std::string& key);
    /// Only these keys (plus the id and times) come back; objects are then not fully available.
    ParseQuery& selectKeys(const std::vector<std::string>& keys);
    /// Sorts by `key` ascending, replacing the order.
    ParseQuery& orderByAscending(const std::string& key);
    /// Then by `key` ascending.
    ParseQuery& addAscendingOrder(const std::string& key);
    /// Sorts by `key` descending, replacing the order.
    ParseQuery& orderByDescending(const std::string& key);
    /// Then by `key` descending.
    ParseQuery& addDescendingOrder(const std::string& key);
    /// At most `limit` objects (the server's default, 100, when never set).
    ParseQuery& setLimit(int limit);
    /// Skips the first `skip` objects.
    ParseQuery& setSkip(int skip);
    /// The limit, -1 when none was set.
    [[nodiscard]] int limit() const noexcept { return limit_; }
    /// The number of objects skipped.
    [[nodiscard]] int skip() const noexcept { return skip_; }

    // ---- query cache --------------------------------------------------------------------------
    /// How this query uses the query cache (default `ignoreCache`).
    ParseQuery& setCachePolicy(CachePolicy policy);
    /// The cache policy in force.
    [[nodiscard]] CachePolicy cachePolicy() const noexcept { return cachePolicy_; }
    /// Cached answers older than this are ignored (default: no limit).
    ParseQuery& setMaxCacheAge(std::optional<std::chrono::milliseconds> age);
    /// True when the cache holds an answer for this query (for the current session).
    [[nodiscard]] bool hasCachedResult() const;
    /// Drops this query's cached answer.
    void clearCachedResult() const;
    /// Drops every cached answer.
    static void clearAllCachedResults();

    // ---- running ------------------------------------------------------------------------------
    /// Finds the matching objects (at most `limit` after `skip`).
    void findInBackground(ParseArrayResultBlock block) const;
    /// `findInBackground` with the objects cast to `T`; objects of another type are left out.
    template <class T>
    void findInBackgroundAs(std::function<void(std::vector<std::shared_ptr<T>>, OptionalError)> block) const {
        findInBackground(
            [block = std::move(block)](std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error) {
                std::vector<std::shared_ptr<T>> typed;
                typed.reserve(objects.size());
                for (auto& object : objects)
                    if (auto cast = std::dynamic_pointer_cast<T>(object)) typed.push_back(std::move(cast));
                block(std::move(typed), std::move(error));
            });
    }
    /// Reads every matching object (from `skip` on, at most `limit` when one is set) in pages of
    /// `pageSize`, with up to `pagesInFlight` page requests running at once; the objects come
    /// back in page order, once. Give the query a total order (for example by "createdAt" then
    /// "objectId") so that pages neither overlap nor leave gaps. On an error the block gets the
    /// objects of the pages before the failed one and the error.
    void findAllInBackground(ParseArrayResultBlock block, int pageSize = 100, int pagesInFlight = 4) const;
    /// The first matching object; code 101 when there is none.
    void getFirstInBackground(ParseObjectResultBlock block) const;
    /// The object with `objectId` that matches the query; code 101 when there is none.
    void getObjectInBackground(const std::string& objectId, ParseObjectResultBlock block) const;
    /// Counts the matching objects (ignoring limit and skip).
    void countInBackground(ParseCountResultBlock block) const;

    // ---- encoding -----------------------------------------------------------------------------
    /// The "where" object.
    [[nodiscard]] const nlohmann::json& whereJSON() const noexcept { return where_; }
    /// The REST parameters of a find: where, include, keys, order, limit, skip.
    [[nodiscard]] nlohmann::json findParameters() const;
    /// The REST parameters of a count.
    [[nodiscard]] nlohmann::json countParameters() const;
    /// The LiveQuery form: {"className", "where", "keys"?}.
    [[nodiscard]] nlohmann::json liveQueryJSON() const;
    /// The cache key of a run with `parameters` under `sessionToken`: stable text over the class,
    /// every parameter (JSON objects print their keys sorted) and the session.
    [[nodiscard]] std::string cacheKey(const nlohmann::json& parameters, const std::string& sessionToken) const;

    /// Same class, constraints, order, paging, includes and keys.
    friend bool operator==(const ParseQuery& a, const ParseQuery& b);

private:
    ParseQuery& addOperator(const std::string& key, const char* op, nlohmann::json value);
    ParseQuery& addOrder(const std::string& key, bool ascending, bool replace);
    void runFind(const nlohmann::json& parameters, std::function<void(nlohmann::json, OptionalError)> done) const;

    std::string className_;
    nlohmann::json where_ = nlohmann::json::object();
    std::vector<std::string> include_;
    std::optional<std::vector<std::string>> keys_;
    std::vector<std::string> order_;
    int limit_ = -1;
    int skip_ = 0;
    CachePolicy cachePolicy_ = CachePolicy::ignoreCache;
    std::optional<std::chrono::milliseconds> maxCacheAge_;
};

}  // namespace vantrel

#pragma GCC visibility pop
