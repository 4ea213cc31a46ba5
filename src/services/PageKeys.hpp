#pragma once

// Reading deep into a list by skip makes the server walk every record before the offset; reading
// by key ("after the last record served") costs what the first page costs. A read ordered by
// object id alone can continue by key, and this is where it learns the key: within one read from
// the previous page, and across reads from the positions earlier reads ended at.

#include "vantrel/backend/ParseQuery.hpp"

#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace vantrel::services_detail {

/// A query that can continue by key: ordered by "objectId" alone (either way) and with no range
/// of its own on the object id. None otherwise; true for ascending.
std::optional<bool> keyPagingDirection(const ParseQuery& query);

/// `query` restricted to the records after `objectId` in its order, from its first record on.
ParseQuery afterKey(ParseQuery query, const std::string& objectId, bool ascending);

/// The last object id served at the end of recent reads, by query and position: a read that asks
/// for the position where an earlier read of the same query (and the same user) ended continues
/// after that record instead of skipping to it. Bounded: the least recently used entries go.
class PageKeys {
public:
    explicit PageKeys(std::size_t capacity = 256) : capacity_(capacity) {}

    /// The key under which reads of `query` (whatever its limit and skip) by the current user are
    /// remembered.
    static std::string signature(const ParseQuery& query);

    /// The object id served just before `position` by an earlier read of `signature`.
    std::optional<std::string> keyBefore(const std::string& signature, int position);
    /// Remembers that a read of `signature` served `objectId` last, just before `position`.
    void remember(const std::string& signature, int position, std::string objectId);

    /// The one memory every service's reads share.
    static PageKeys& shared();

private:
    using Entries = std::list<std::pair<std::string, std::string>>;  // (signature and position, object id)

    std::size_t capacity_;
    std::mutex mutex_;
    Entries entries_;  // most recently used first
    std::unordered_map<std::string, Entries::iterator> index_;
};

}  // namespace vantrel::services_detail
