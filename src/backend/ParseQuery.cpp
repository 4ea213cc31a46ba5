#include "vantrel/backend/ParseQuery.hpp"

#include "backend/QueryCache.hpp"
#include "backend/QueryResults.hpp"
#include "backend/RestClient.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/DispatchQueue.hpp"

#include <algorithm>
#include <map>
#include <mutex>

namespace vantrel {

using backend_detail::QueryCache;
using nlohmann::json;

namespace {

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += ',';
        out += item;
    }
    return out;
}

// An operator map ({"$in": ...}) as opposed to an encoded value ({"__type": "Pointer"...}).
bool isOperatorMap(const json& value) {
    if (!value.is_object() || value.empty()) return false;
    for (auto it = value.begin(); it != value.end(); ++it)
        if (it.key().empty() || it.key().front() != '$') return false;
    return true;
}

json encodeAll(const std::vector<ParseValue>& values) {
    json out = json::array();
    for (const auto& value : values) out.push_back(value.toJSON());
    return out;
}

bool isTransportFailure(const Error& error) {
    return error.code == ParseErrorCode::connectionFailed || error.code == ParseErrorCode::timeout;
}

}  // namespace

ParseQuery::ParseQuery(std::string className) : className_(std::move(className)) {}

ParseQuery& ParseQuery::whereEqualTo(const std::string& key, const ParseValue& value) {
    where_[key] = value.toJSON();
    return *this;
}

ParseQuery& ParseQuery::addOperator(const std::string& key, const char* op, json value) {
    auto& slot = where_[key];
    if (!isOperatorMap(slot)) slot = json::object();
    slot[op] = std::move(value);
    return *this;
}

ParseQuery& ParseQuery::whereNotEqualTo(const std::string& key, const ParseValue& value) {
    return addOperator(key, "$ne", value.toJSON());
}
ParseQuery& ParseQuery::whereContainedIn(const std::string& key, const std::vector<ParseValue>& values) {
    return addOperator(key, "$in", encodeAll(values));
}
ParseQuery& ParseQuery::whereNotContainedIn(const std::string& key, const std::vector<ParseValue>& values) {
    return addOperator(key, "$nin", encodeAll(values));
}
ParseQuery& ParseQuery::whereExists(const std::string& key) { return addOperator(key, "$exists", true); }
ParseQuery& ParseQuery::whereDoesNotExist(const std::string& key) { return addOperator(key, "$exists", false); }
ParseQuery& ParseQuery::whereGreaterThan(const std::string& key, const ParseValue& value) {
    return addOperator(key, "$gt", value.toJSON());
}
ParseQuery& ParseQuery::whereGreaterThanOrEqualTo(const std::string& key, const ParseValue& value) {
    return addOperator(key, "$gte", value.toJSON());
}
ParseQuery& ParseQuery::whereLessThan(const std::string& key, const ParseValue& value) {
    return addOperator(key, "$lt", value.toJSON());
}
ParseQuery& ParseQuery::whereLessThanOrEqualTo(const std::string& key, const ParseValue& value) {
    return addOperator(key, "$lte", value.toJSON());
}

ParseQuery& ParseQuery::whereRelatedTo(const std::shared_ptr<ParseObject>& object, const std::string& key) {
    if (object) where_["$relatedTo"] = {{"object", object->pointerJSON()}, {"key", key}};
    return *this;
}

ParseQuery& ParseQuery::includeKey(const std::string& key) {
    if (std::find(include_.begin(), include_.end(), key) == include_.end()) include_.push_back(key);
    return *this;
}

ParseQuery& ParseQuery::selectKeys(const std::vector<std::string>& keys) {
    keys_ = keys;
    return *this;
}

ParseQuery& ParseQuery::addOrder(const std::string& key, bool ascending, bool replace) {
    if (replace) order_.clear();
    order_.push_back(ascending ? key : "-" + key);
    return *this;
}

ParseQuery& ParseQuery::orderByAscending(const std::string& key) { return addOrder(key, true, true); }
ParseQuery& ParseQuery::addAscendingOrder(const std::string& key) { return addOrder(key, true, false); }
ParseQuery& ParseQuery::orderByDescending(const std::string& key) { return addOrder(key, false, true); }
ParseQuery& ParseQuery::addDescendingOrder(const std::string& key) { return addOrder(key, false, false); }

ParseQuery& ParseQuery::setLimit(int limit) {
    limit_ = limit;
    return *this;
}

ParseQuery& ParseQuery::setSkip(int skip) {
    skip_ = skip < 0 ? 0 : skip;
    return *this;
}

ParseQuery& ParseQuery::setCachePolicy(CachePolicy policy) {
    cachePolicy_ = policy;
    return *this;
}

ParseQuery& ParseQuery::setMaxCacheAge(std::optional<std::chrono::milliseconds> age) {
    maxCacheAge_ = age;
    return *this;
}

json ParseQuery::findParameters() const {
    json params = json::object();
    params["where"] = where_;
    if (!include_.empty()) params["include"] = join(include_);
    if (keys_) params["keys"] = join(*keys_);
    if (!order_.empty()) params["order"] = join(order_);
    if (limit_ >= 0) params["limit"] = limit_;
    if (skip_ > 0) params["skip"] = skip_;
    return params;
}

json ParseQuery::countParameters() const { return {{"where", where_}, {"count", 1}, {"limit", 0}}; }

json ParseQuery::liveQueryJSON() const {
    json query = {{"className", className_}, {"where", where_}};
    if (keys_) query["keys"] = *keys_;
    return query;
}

std::string ParseQuery::cacheKey(const json& parameters, const std::string& sessionToken) const {
    return className_ + '\n' + parameters.dump() + '\n' + sessionToken;
}

bool operator==(const ParseQuery& a, const ParseQuery& b) {
    return a.className_ == b.className_ && a.where_ == b.where_ && a.include_ == b.include_ && a.keys_ == b.keys_ &&
           a.order_ == b.order_ && a.limit_ == b.limit_ && a.skip_ == b.skip_;
}

bool ParseQuery::hasCachedResult() const {
    const auto key = cacheKey(findParameters(), backend_detail::currentSessionToken().value_or(""));
    return QueryCache::shared().get(key, maxCacheAge_).has_value();
}

void ParseQuery::clearCachedResult() const {
    QueryCache::shared().remove(cacheKey(findParameters(), backend_detail::currentSessionToken().value_or("")));
}

void ParseQuery::clearAllCachedResults() { QueryCache::shared().clear(); }

void ParseQuery::runFind(const json& parameters, std::function<void(json, OptionalError)> done) const {
    const auto key = cacheKey(parameters, backend_detail::currentSessionToken().value_or(""));
    const auto policy = cachePolicy_;
    const auto maxAge = maxCacheAge_;

    auto network = [this, key, policy, maxAge, parameters, done]() {
        json body = parameters;
        body["_method"] = "GET";
        backend_detail::performRequest("POST", "classes/" + backend_detail::encodePathSegment(className_), body,
                                       [key, policy, maxAge, done](json result, OptionalError error) {
                                           if (!error) {
                                               if (policy != CachePolicy::ignoreCache)
                                                   QueryCache::shared().put(key, result);
                                               done(std::move(result), std::nullopt);
                                               return;
                                           }
                                           if (policy == CachePolicy::networkElseCache && isTransportFailure(*error)) {
                                               if (auto cached = QueryCache::shared().get(key, maxAge)) {
                                                   done(std::move(*cached), std::nullopt);
                                                   return;
                                               }
                                           }
                                           done(json(), std::move(error));
                                       });
    };

    if (policy == CachePolicy::cacheOnly || policy == CachePolicy::cacheElseNetwork) {
        if (auto cached = QueryCache::shared().get(key, maxAge)) {
            // Same threading as a network answer: never on the caller's thread.
            DispatchQueue::global().async(
                [done, cached = std::move(*cached)]() mutable { done(std::move(cached), std::nullopt); });
            return;
        }
        if (policy == CachePolicy::cacheOnly) {
            DispatchQueue::global().async(
                [done] { done(json(), makeParseError(ParseErrorCode::cacheMiss, "Cache miss.")); });
            return;
        }
    }
    network();
}

namespace {

// The records of a query's answer; an error when it holds no results.
std::vector<std::shared_ptr<ParseObject>> recordsOf(const json& result, const std::string& className,
                                                    OptionalError& error) {
    std::vector<std::shared_ptr<ParseObject>> objects;
    const auto it = result.find("results");
    if (it == result.end() || !it->is_array()) {
        error = makeParseError(ParseErrorCode::invalidJSON, "The server's answer holds no results.");
        return objects;
    }
    objects.reserve(it->size());
    for (const auto& item : *it)
        if (auto object = ParseObject::fromJSON(item, className)) objects.push_back(std::move(object));
    return objects;
}

}  // namespace

void ParseQuery::findInBackground(ParseArrayResultBlock block) const {
    const std::string className = className_;
    if (cachePolicy_ != CachePolicy::ignoreCache) {
        runFind(findParameters(), [className, block = std::move(block)](json result, OptionalError error) {
            std::vector<std::shared_ptr<ParseObject>> objects;
            if (!error) objects = recordsOf(result, className, error);
            if (block) block(std::move(objects), std::move(error));
        });
        return;
    }
    // Nothing goes to the cache: the records are decoded straight from the answer's text, which
    // spares building its JSON tree (the larger part of a page's decoding).
    json body = findParameters();
    body["_method"] = "GET";
    backend_detail::performRequestForResponse(
        "POST", "classes/" + backend_detail::encodePathSegment(className_), body,
        [className, block = std::move(block)](HttpResponse response, OptionalError error) {
            std::vector<std::shared_ptr<ParseObject>> objects;
            const bool ok = response.statusCode >= 200 && response.statusCode < 300;
            if (!error && ok) {
                if (auto decoded = backend_detail::decodeQueryResults(response.body, className)) {
                    if (block) block(std::move(*decoded), std::nullopt);
                    return;
                }
            }
            if (!error) {
                auto [result, failure] = backend_detail::RestClient::interpret(response);
                error = std::move(failure);
                if (!error) objects = recordsOf(result, className, error);
            }
            if (block) block(std::move(objects), std::move(error));
        });
}

namespace {

// The state of one findAllInBackground: pages by index until every page up to the last one
// has arrived (or one failed); then the block runs once with the pages in order.
struct PagedRead {
    std::mutex mutex;
    ParseQuery query;
    ParseArrayResultBlock block;
    int pageSize;
    int firstSkip;
    int total;  // objects wanted at most, -1 for all
    int nextPage = 0;
    int lastPage = -1;  // index of the first short page, once known
    std::map<int, std::vector<std::shared_ptr<ParseObject>>> pages;
    std::optional<std::pair<int, Error>> failure;  // the earliest failed page
    bool finished = false;

    explicit PagedRead(ParseQuery q) : query(std::move(q)) {}
};

int pagesWanted(const PagedRead& read) {
    return read.total < 0 ? -1 : (read.total + read.pageSize - 1) / read.pageSize;
}

void issuePage(const std::shared_ptr<PagedRead>& read, int index);

// Called under the lock: delivers when nothing before the end (or the failure) is missing.
void finishIfComplete(const std::shared_ptr<PagedRead>& read, std::unique_lock<std::mutex>& lock) {
    if (read->finished) return;
    int end = read->lastPage;
    if (read->failure && (end < 0 || read->failure->first <= end)) end = read->failure->first - 1;
    if (end < 0 && !read->failure) return;  // the end is not known yet
    for (int i = 0; i <= end; ++i)
        if (!read->pages.count(i)) return;
    read->finished = true;
    std::vector<std::shared_ptr<ParseObject>> objects;
    for (int i = 0; i <= end; ++i)
        for (auto& object : read->pages[i]) objects.push_back(std::move(object));
    if (read->total >= 0 && static_cast<int>(objects.size()) > read->total)
        objects.resize(static_cast<std::size_t>(read->total));
    OptionalError error;
    if (read->failure && (read->lastPage < 0 || read->failure->first <= read->lastPage)) error = read->failure->second;
    auto block = std::move(read->block);
    lock.unlock();
    if (block) block(std::move(objects), std::move(error));
}

void issuePage(const std::shared_ptr<PagedRead>& read, int index) {
    ParseQuery page(read->query);
    page.setSkip(read->firstSkip + index * read->pageSize).setLimit(read->pageSize);
    page.findInBackground([read, index](std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error) {
        std::unique_lock lock(read->mutex);
        if (error) {
            if (!read->failure || index < read->failure->first)
                read->failure = std::make_pair(index, std::move(*error));
        } else {
            const bool shortPage = static_cast<int>(objects.size()) < read->pageSize;
            read->pages[index] = std::move(objects);
            const int wanted = pagesWanted(*read);
            if ((shortPage || (wanted >= 0 && index + 1 >= wanted)) && (read->lastPage < 0 || index < read->lastPage))
                read->lastPage = index;
            const bool more = read->lastPage < 0 && !read->failure && (wanted < 0 || read->nextPage < wanted);
            if (more) {
                const int next = read->nextPage++;
                lock.unlock();
                issuePage(read, next);
                lock.lock();
            }
        }
        finishIfComplete(read, lock);
    });
}

}  // namespace

void ParseQuery::findAllInBackground(ParseArrayResultBlock block, int pageSize, int pagesInFlight) const {
    auto read = std::make_shared<PagedRead>(*this);
    read->block = std::move(block);
    read->pageSize = pageSize > 0 ? pageSize : 100;
    read->firstSkip = skip_;
    read->total = limit_;
    const int wanted = pagesWanted(*read);
    int first = std::max(1, pagesInFlight);
    if (wanted >= 0) first = std::min(first, std::max(wanted, 1));
    {
        std::lock_guard lock(read->mutex);
        read->nextPage = first;
    }
    for (int i = 0; i < first; ++i) issuePage(read, i);
}

void ParseQuery::getFirstInBackground(ParseObjectResultBlock block) const {
    ParseQuery first(*this);
    first.setLimit(1);
    first.findInBackground(
        [block = std::move(block)](std::vector<std::shared_ptr<ParseObject>> objects, OptionalError error) {
            if (!block) return;
            if (error) {
                block(nullptr, std::move(error));
            } else if (objects.empty()) {
                block(nullptr, makeParseError(ParseErrorCode::objectNotFound, "No results matched the query."));
            } else {
                block(std::move(objects.front()), std::nullopt);
            }
        });
}

void ParseQuery::getObjectInBackground(const std::string& objectId, ParseObjectResultBlock block) const {
    ParseQuery byId(*this);
    byId.whereEqualTo("objectId", objectId).setSkip(0);
    byId.getFirstInBackground(std::move(block));
}

void ParseQuery::countInBackground(ParseCountResultBlock block) const {
    runFind(countParameters(), [block = std::move(block)](json result, OptionalError error) {
        if (!block) return;
        if (error) {
            block(0, std::move(error));
            return;
        }
        const auto it = result.find("count");
        if (it == result.end() || !it->is_number_integer()) {
            block(0, makeParseError(ParseErrorCode::invalidJSON, "The server's answer holds no count."));
            return;
        }
        block(static_cast<int>(it->get<long long>()), std::nullopt);
    });
}

}  // namespace vantrel
