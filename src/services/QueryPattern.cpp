#include "services/QueryPattern.hpp"

#include "services/PageKeys.hpp"

#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/services/AuthService.hpp"

#include <chrono>
#include <mutex>

namespace vantrel::services_detail {

namespace {

// Keeps the accumulator and the query of one list read alive from page to page. A read ordered by
// object id alone continues after the last record served instead of skipping over everything read
// so far, so a page deep in a large list costs what the first one costs; other orders page by skip.
struct PageLoop : std::enable_shared_from_this<PageLoop> {
    ParseQuery query;
    int firstSkip = 0;
    std::optional<bool> ascending;  // set when the read pages by key
    std::string signature;
    std::vector<std::shared_ptr<ParseObject>> gathered;
    ObjectsBlock block;

    PageLoop(ParseQuery q, int skip, ObjectsBlock b)
        : query(std::move(q)), firstSkip(skip), ascending(keyPagingDirection(query)), block(std::move(b)) {
        if (ascending) signature = PageKeys::signature(query);
    }

    void start() {
        // A read that starts where an earlier read of the same query ended goes on from its key.
        const auto known =
            ascending && firstSkip > 0 ? PageKeys::shared().keyBefore(signature, firstSkip) : std::nullopt;
        requestPage(known ? afterKey(query, *known, *ascending) : query);
    }

    void requestPage(const ParseQuery& page) {
        page.findInBackground(
            [self = shared_from_this()](std::vector<std::shared_ptr<ParseObject>> records, OptionalError error) {
                self->receive(std::move(records), std::move(error));
            });
    }

    void receive(std::vector<std::shared_ptr<ParseObject>> page, OptionalError error) {
        auto kept = processAllResult(std::move(page), std::move(error), gathered, block);
        if (!kept) return;
        const std::size_t size = kept->size();
        const auto lastId = kept->empty() ? std::nullopt : kept->back()->objectId();
        gathered.insert(gathered.end(), std::make_move_iterator(kept->begin()), std::make_move_iterator(kept->end()));
        if (size < kPageSize) {
            rememberEnd();
            block(std::move(gathered), std::nullopt);
            return;
        }
        if (ascending && lastId) {
            requestPage(afterKey(query, *lastId, *ascending));
            return;
        }
        // The next page starts after everything read so far, counted from where the read began
        // (the records before `offset` were never part of it).
        query.setSkip(firstSkip + static_cast<int>(gathered.size()));
        requestPage(query);
    }

    // Where this read ended, for a later read that goes on from there.
    void rememberEnd() const {
        if (!ascending || gathered.empty()) return;
        if (const auto lastId = gathered.back()->objectId())
            PageKeys::shared().remember(signature, firstSkip + static_cast<int>(gathered.size()), *lastId);
    }
};

bool endsWithIdOrder(const ParseQuery& query) {
    const std::string order = query.findParameters().value("order", "");
    const auto comma = order.rfind(',');
    const std::string last = comma == std::string::npos ? order : order.substr(comma + 1);
    return last == "objectId" || last == "-objectId";
}

}  // namespace

void applyAccessPeriod(ParseQuery& query, const std::string& serviceName) {
    query.setCachePolicy(VantrelSDK::cachePolicyForQuery(serviceName) == 3 ? CachePolicy::cacheElseNetwork
                                                                           : CachePolicy::networkOnly);
}

bool isNotFound(const Error& error) {
    return error.code == ParseErrorCode::objectNotFound || error.code == ParseErrorCode::cacheMiss;
}

bool isSessionError(const Error& error) {
    switch (error.code) {
        case 119:
        case 140:
        case 155:
        case 206:
        case 209:
        case 251: return true;
        default: return false;
    }
}

bool isBackendUnreachable(const Error& error) {
    return error.domain == kParseErrorDomain &&
           (error.code == ParseErrorCode::connectionFailed || error.code == ParseErrorCode::timeout);
}

void applySessionErrorRule(const Error& error) {
    if (isSessionError(error)) AuthService::sharedInstance().signOut(true);
}

void processResult(std::shared_ptr<ParseObject> result, OptionalError error, const ObjectBlock& block) {
    if (error && isNotFound(*error)) {
        block(nullptr, std::nullopt);
        return;
    }
    if (error) {
        VLOG_ERROR("processResult: " + error->description());
        applySessionErrorRule(*error);
        block(nullptr, std::move(error));
        return;
    }
    block(std::move(result), std::nullopt);
}

std::optional<std::vector<std::shared_ptr<ParseObject>>> processAllResult(
    std::vector<std::shared_ptr<ParseObject>> result, OptionalError error,
    std::vector<std::shared_ptr<ParseObject>>& gathered, const ObjectsBlock& block) {
    if (error && isNotFound(*error)) {
        // Nothing more to find: what was gathered is the answer.
        block(std::move(gathered), std::nullopt);
        return std::nullopt;
    }
    if (error) {
        VLOG_ERROR("processAllResult: " + error->description());
        applySessionErrorRule(*error);
        block({}, std::move(error));
        return std::nullopt;
    }
    return result;
}

void processCountResult(int count, OptionalError error, const CountResultBlock& block) {
    if (error && isNotFound(*error)) {
        block(0, std::nullopt);
        return;
    }
    if (error) {
        VLOG_ERROR("processCountResult: " + error->description());
        applySessionErrorRule(*error);
        block(0, std::move(error));
        return;
    }
    block(count, std::nullopt);
}

void getObjectById(ParseQuery query, const std::string& objectId, const std::string& serviceName, ObjectBlock block) {
    // No record has an empty id; asking the server would address the whole class instead.
    if (objectId.empty()) {
        block(nullptr, std::nullopt);
        return;
    }
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    applyAccessPeriod(query, serviceName);
    query.getObjectInBackground(objectId,
                                [block = std::move(block)](std::shared_ptr<ParseObject> object, OptionalError error) {
                                    processResult(std::move(object), std::move(error), block);
                                });
}

void getFirstObject(ParseQuery query, const std::string& serviceName, ObjectBlock block) {
    applyAccessPeriod(query, serviceName);
    query.getFirstInBackground([block = std::move(block)](std::shared_ptr<ParseObject> object, OptionalError error) {
        processResult(std::move(object), std::move(error), block);
    });
}

void findAllObjects(ParseQuery query, std::optional<int> offset, std::optional<int> max, const std::string& serviceName,
                    ObjectsBlock block) {
    applyAccessPeriod(query, serviceName);
    // Negative numbers mean nothing sensible to the server: they count as not given.
    const int limit = max && *max >= 0 ? *max : static_cast<int>(kPageSize);
    const int skip = offset && *offset > 0 ? *offset : 0;
    query.setLimit(limit);
    query.setSkip(skip);
    // Pages by skip are only stable over a total order: the server gives none of its own, and the
    // orders the services ask for have ties. The object id breaks them, after the service's keys.
    if (!endsWithIdOrder(query)) query.addAscendingOrder("objectId");
    std::make_shared<PageLoop>(std::move(query), skip, std::move(block))->start();
}

void countObjects(ParseQuery query, const std::string& serviceName, CountResultBlock block) {
    applyAccessPeriod(query, serviceName);
    query.countInBackground([block = std::move(block)](int count, OptionalError error) {
        processCountResult(count, std::move(error), block);
    });
}

std::optional<ParseValue> pointerTo(const std::shared_ptr<ParseObject>& record) {
    if (!record || !record->objectId()) return std::nullopt;
    return ParseValue(record);
}

std::vector<ParseValue> idValues(const std::vector<std::string>& ids) { return {ids.begin(), ids.end()}; }

}  // namespace vantrel::services_detail
