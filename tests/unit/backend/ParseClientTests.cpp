// The backend client against a scripted HTTP server: requests on the wire, answers and errors,
// the query cache policies, the current user's persistence and the activity notifications.

#include "backend/CurrentUserStore.hpp"
#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/NetworkActivity.hpp"
#include "vantrel/core/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <set>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::FakeHttpRequest;
using test::FakeHttpServer;
using Objects = std::pair<std::vector<std::shared_ptr<ParseObject>>, OptionalError>;
using One = std::pair<std::shared_ptr<ParseObject>, OptionalError>;

class ClientTestRecord : public ParseObject {
public:
    static std::string parseClassName() { return "ClientTestRecord"; }
    ClientTestRecord() : ParseObject(parseClassName()) {}
};

class ClientTestUser : public ParseUser {};

class ParseClientTest : public testing::Test {
protected:
    void SetUp() override {
        ParseObject::registerSubclass<ClientTestRecord>();
        server_ = std::make_unique<FakeHttpServer>([this](const FakeHttpRequest& request) { return answer(request); });
        persistence_ = std::filesystem::temp_directory_path() / ("vantrel-parse-" + std::to_string(::getpid()));
        std::filesystem::remove_all(persistence_);
        initialize();
        ParseUser::logOut();
        ParseQuery::clearAllCachedResults();
    }

    void TearDown() override {
        ParseUser::logOut();
        ParseObject::unregisterSubclass(ClientTestRecord::parseClassName());
        ParseObject::unregisterSubclass(ParseUser::parseClassName());
        ParseQuery::clearAllCachedResults();
    }

    void initialize() {
        ParseClientConfiguration configuration;
        configuration.server = server_->url() + "/parse";
        configuration.applicationId = "app-id";
        configuration.clientKey = "client-key";
        configuration.requestTimeout = std::chrono::milliseconds(2000);
        configuration.persistenceDirectory = persistence_.string();
        Parse::initialize(configuration);
    }

    // Routes of the scripted server; tests change `next_` for what the next request returns.
    std::string answer(const FakeHttpRequest& request) {
        std::lock_guard lock(mutex_);
        if (!next_.empty()) {
            auto response = next_.front();
            next_.erase(next_.begin());
            return response;
        }
        if (request.target == "/parse/login")
            return FakeHttpServer::response(
                200,
                R"({"objectId":"u1","username":"ann","sessionToken":"r:token1","createdAt":"2024-01-01T00:00:00.000Z"})");
        if (request.target == "/parse/logout") return FakeHttpServer::response(200, "{}");
        return FakeHttpServer::response(200, R"({"results":[]})");
    }

    void respondNext(int status, const std::string& body) {
        std::lock_guard lock(mutex_);
        next_.push_back(FakeHttpServer::response(status, body));
    }

    Objects find(const ParseQuery& query) {
        Await<Objects> done;
        query.findInBackground([done](auto objects, auto error) { done.set({std::move(objects), std::move(error)}); });
        auto result = done.get();
        if (!result) ADD_FAILURE() << "no completion";
        return result.value_or(Objects{});
    }

    std::pair<int, OptionalError> count(const ParseQuery& query) {
        Await<std::pair<int, OptionalError>> done;
        query.countInBackground([done](int n, OptionalError error) { done.set({n, std::move(error)}); });
        return done.get().value_or(std::pair<int, OptionalError>{-1, std::nullopt});
    }

    std::pair<bool, OptionalError> save(const std::shared_ptr<ParseObject>& object) {
        Await<std::pair<bool, OptionalError>> done;
        object->saveInBackground([done](bool ok, OptionalError error) { done.set({ok, std::move(error)}); });
        return done.get().value_or(std::pair<bool, OptionalError>{false, std::nullopt});
    }

    std::shared_ptr<ParseUser> logIn() {
        Await<std::pair<std::shared_ptr<ParseUser>, OptionalError>> done;
        ParseUser::logInWithUsernameInBackground("ann", "secret", [done](auto user, auto error) {
            done.set({user, error});
        });
        auto result = done.get();
        if (!result || result->second) ADD_FAILURE() << "login failed";
        return result ? result->first : nullptr;
    }

    std::unique_ptr<FakeHttpServer> server_;
    std::filesystem::path persistence_;
    std::mutex mutex_;
    std::vector<std::string> next_;
};

TEST_F(ParseClientTest, QueryGoesOutWithTheApplicationHeadersAsAPostedGet) {
    ParseQuery query("ClientTestRecord");
    query.whereEqualTo("n", 2).setLimit(5);
    respondNext(
        200,
        R"({"results":[{"objectId":"a","n":2,"p":{"__type":"Object","className":"ClientTestRecord","objectId":"b"}}]})");
    const auto [objects, error] = find(query);
    ASSERT_FALSE(error);
    ASSERT_EQ(objects.size(), 1u);
    auto record = std::dynamic_pointer_cast<ClientTestRecord>(objects[0]);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record->value("p").asObject<ClientTestRecord>(), nullptr);
    const auto request = server_->requests().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/parse/classes/ClientTestRecord");
    EXPECT_EQ(request.headers.at("x-parse-application-id"), "app-id");
    EXPECT_EQ(request.headers.at("x-parse-client-key"), "client-key");
    EXPECT_EQ(request.headers.count("x-parse-session-token"), 0u);
    const auto body = json::parse(request.body);
    EXPECT_EQ(body["_method"], "GET");
    EXPECT_EQ(body["where"], json::parse(R"({"n":2})"));
    EXPECT_EQ(body["limit"], 5);
}

TEST_F(ParseClientTest, ServerErrorsKeepTheBodysCodeNotTheHttpStatus) {
    respondNext(400, R"({"code":209,"error":"Invalid session token"})");
    const auto [objects, error] = find(ParseQuery("ClientTestRecord"));
    ASSERT_TRUE(error);
    EXPECT_TRUE(objects.empty());
    EXPECT_EQ(error->domain, "Parse");
    EXPECT_EQ(error->code, 209);
    EXPECT_EQ(error->userInfo["error"], "Invalid session token");
    EXPECT_EQ(error->description(), "[209] Invalid session token");
}

TEST_F(ParseClientTest, BodiesThatAreNotJsonAreCode107) {
    respondNext(200, "<html>proxy page</html>");
    EXPECT_EQ(find(ParseQuery("ClientTestRecord")).second->code, ParseErrorCode::invalidJSON);
    respondNext(502, "Bad gateway");
    EXPECT_EQ(find(ParseQuery("ClientTestRecord")).second->code, ParseErrorCode::invalidJSON);
    respondNext(200, R"({"no":"results"})");
    EXPECT_EQ(find(ParseQuery("ClientTestRecord")).second->code, ParseErrorCode::invalidJSON);
}

TEST_F(ParseClientTest, HungServerGivesTimeoutAndNoHang) {
    server_->setMode(FakeHttpServer::Mode::silent);
    const auto [objects, error] = find(ParseQuery("ClientTestRecord"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::timeout);
}

TEST_F(ParseClientTest, ServerClosingMidAnswerGivesConnectionFailed) {
    server_->setMode(FakeHttpServer::Mode::closeMidResponse);
    const auto [objects, error] = find(ParseQuery("ClientTestRecord"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
}

TEST_F(ParseClientTest, GetFirstAndGetObjectReport101WhenNothingMatches) {
    Await<One> first;
    ParseQuery("ClientTestRecord").getFirstInBackground([first](auto object, auto error) {
        first.set({object, error});
    });
    EXPECT_EQ(first.get()->second->code, ParseErrorCode::objectNotFound);
    Await<One> byId;
    ParseQuery("ClientTestRecord").getObjectInBackground("zz", [byId](auto object, auto error) {
        byId.set({object, error});
    });
    EXPECT_EQ(byId.get()->second->code, ParseErrorCode::objectNotFound);
    const auto body = json::parse(server_->requests().back().body);
    EXPECT_EQ(body["where"]["objectId"], "zz");
    EXPECT_EQ(body["limit"], 1);
}

TEST_F(ParseClientTest, CountReadsTheCount) {
    respondNext(200, R"({"results":[],"count":250})");
    const auto [n, error] = count(ParseQuery("ClientTestRecord"));
    EXPECT_FALSE(error);
    EXPECT_EQ(n, 250);
    const auto body = json::parse(server_->requests().back().body);
    EXPECT_EQ(body["count"], 1);
    EXPECT_EQ(body["limit"], 0);
}

TEST_F(ParseClientTest, CacheElseNetworkAsksTheServerOnlyOnAMiss) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    respondNext(200, R"({"results":[{"objectId":"a"}]})");
    EXPECT_EQ(find(query).first.size(), 1u);
    EXPECT_EQ(find(query).first.size(), 1u);  // from the cache
    EXPECT_EQ(server_->requests().size(), 1u);
    EXPECT_TRUE(query.hasCachedResult());
    ParseQuery::clearAllCachedResults();
    EXPECT_EQ(find(query).first.size(), 0u);  // the network again (default answer: none)
    EXPECT_EQ(server_->requests().size(), 2u);
}

TEST_F(ParseClientTest, CachedAnswersAreFreshInstances) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    respondNext(200, R"({"results":[{"objectId":"a","n":1}]})");
    auto first = find(query).first;
    first.at(0)->set("n", 99);
    auto second = find(query).first;
    EXPECT_NE(first.at(0), second.at(0));
    EXPECT_EQ(second.at(0)->value("n").asInteger(), 1);
}

TEST_F(ParseClientTest, NetworkOnlyStoresAndIgnoreCacheDoesNot) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::ignoreCache);
    find(query);
    EXPECT_FALSE(query.hasCachedResult());
    query.setCachePolicy(CachePolicy::networkOnly);
    find(query);
    find(query);
    EXPECT_EQ(server_->requests().size(), 3u);  // network every time
    EXPECT_TRUE(query.hasCachedResult());
}

TEST_F(ParseClientTest, CacheOnlyMissIsCode120) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::cacheOnly);
    EXPECT_EQ(find(query).second->code, ParseErrorCode::cacheMiss);
    EXPECT_EQ(count(query).second->code, ParseErrorCode::cacheMiss);
    EXPECT_TRUE(server_->requests().empty());
}

TEST_F(ParseClientTest, NetworkElseCacheFallsBackWhenTheServerIsGone) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::networkElseCache);
    respondNext(200, R"({"results":[{"objectId":"a"}]})");
    EXPECT_EQ(find(query).first.size(), 1u);
    server_->setMode(FakeHttpServer::Mode::closeMidResponse);
    const auto [objects, error] = find(query);
    EXPECT_FALSE(error);
    EXPECT_EQ(objects.size(), 1u);
}

TEST_F(ParseClientTest, CacheEntriesAreKeptPerSession) {
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    find(query);
    logIn();
    find(query);                                // another session: not the anonymous answer
    EXPECT_EQ(server_->requests().size(), 3u);  // query, login, query
    EXPECT_EQ(server_->requests().back().headers.at("x-parse-session-token"), "r:token1");
}

TEST_F(ParseClientTest, SaveCreatesThenSendsOnlyChangedKeys) {
    auto record = std::make_shared<ClientTestRecord>();
    record->set("int", 2);
    record->set("double", 2.0);
    record->set("none", ParseValue::null());
    respondNext(201, R"({"objectId":"new1","createdAt":"2024-01-01T00:00:00.000Z"})");
    auto [ok, error] = save(record);
    ASSERT_TRUE(ok);
    EXPECT_EQ(record->objectId(), "new1");
    EXPECT_EQ(record->updatedAt(), record->createdAt());
    EXPECT_FALSE(record->isDirty());
    auto request = server_->requests().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/parse/classes/ClientTestRecord");
    EXPECT_NE(request.body.find("\"double\":2.0"), std::string::npos);
    EXPECT_NE(request.body.find("\"int\":2"), std::string::npos);
    EXPECT_NE(request.body.find("\"none\":null"), std::string::npos);

    record->set("int", 3);
    record->remove("none");
    respondNext(200, R"({"updatedAt":"2024-01-02T00:00:00.000Z"})");
    std::tie(ok, error) = save(record);
    ASSERT_TRUE(ok);
    request = server_->requests().back();
    EXPECT_EQ(request.method, "PUT");
    EXPECT_EQ(request.target, "/parse/classes/ClientTestRecord/new1");
    EXPECT_EQ(json::parse(request.body), json::parse(R"({"int":3,"none":{"__op":"Delete"}})"));
    EXPECT_EQ(formatParseDate(*record->updatedAt()), "2024-01-02T00:00:00.000Z");
}

TEST_F(ParseClientTest, FailedSaveKeepsTheChangesForTheNextTry) {
    auto record = std::make_shared<ClientTestRecord>();
    record->setObjectId("r1");
    record->set("a", 1);
    respondNext(400, R"({"code":142,"error":"rejected"})");
    const auto [ok, error] = save(record);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error->code, 142);
    EXPECT_TRUE(record->isDirty());
    respondNext(200, R"({"updatedAt":"2024-01-02T00:00:00.000Z"})");
    EXPECT_TRUE(save(record).first);
    EXPECT_EQ(json::parse(server_->requests().back().body), json::parse(R"({"a":1})"));
}

TEST_F(ParseClientTest, PointerToAnUnsavedObjectIsRefusedLocally) {
    auto record = std::make_shared<ClientTestRecord>();
    record->set("other", std::make_shared<ClientTestRecord>());
    const auto [ok, error] = save(record);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error->code, ParseErrorCode::missingObjectId);
    EXPECT_TRUE(server_->requests().empty());
}

TEST_F(ParseClientTest, DeleteAndFetchUseTheObjectsPath) {
    auto record = ParseObject::createWithoutData("ClientTestRecord", "r9");
    respondNext(200, R"({"objectId":"r9","name":"x"})");
    Await<One> fetched;
    record->fetchIfNeededInBackground([fetched](auto object, auto error) { fetched.set({object, error}); });
    ASSERT_EQ(fetched.get()->first, record);
    EXPECT_TRUE(record->isDataAvailable());
    EXPECT_EQ(server_->requests().back().target, "/parse/classes/ClientTestRecord/r9");
    EXPECT_EQ(server_->requests().back().method, "GET");
    Await<One> again;  // data available: no request
    record->fetchIfNeededInBackground([again](auto object, auto error) { again.set({object, error}); });
    ASSERT_EQ(again.get()->first, record);
    EXPECT_EQ(server_->requests().size(), 1u);

    respondNext(200, "{}");
    Await<std::pair<bool, OptionalError>> deleted;
    record->deleteInBackground([deleted](bool ok, OptionalError error) { deleted.set({ok, error}); });
    EXPECT_TRUE(deleted.get()->first);
    EXPECT_EQ(server_->requests().back().method, "DELETE");
}

TEST_F(ParseClientTest, LoginPersistsTheUserPrivatelyAndARestartRestoresIt) {
    ParseObject::registerSubclass<ClientTestUser>();
    auto user = logIn();
    ASSERT_NE(std::dynamic_pointer_cast<ClientTestUser>(user), nullptr);
    EXPECT_EQ(ParseUser::currentUser(), user);
    EXPECT_TRUE(user->isAuthenticated());
    EXPECT_EQ(json::parse(server_->requests().back().body), json::parse(R"({"username":"ann","password":"secret"})"));

    const auto file = CurrentUserStore::filePath();
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);

    initialize();  // what a restart of the host amounts to
    auto restored = ParseUser::currentUser();
    ASSERT_NE(restored, nullptr);
    EXPECT_NE(restored, user);
    EXPECT_NE(std::dynamic_pointer_cast<ClientTestUser>(restored), nullptr);
    EXPECT_EQ(restored->sessionToken(), "r:token1");
    EXPECT_EQ(restored->username(), "ann");
    EXPECT_EQ(restored->objectId(), "u1");
    EXPECT_TRUE(restored->isAuthenticated());

    ParseUser::logOut();
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_FALSE(restored->isAuthenticated());
    EXPECT_FALSE(std::filesystem::exists(file));
    initialize();
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(ParseClientTest, FailedLoginLeavesNoCurrentUser) {
    respondNext(404, R"({"code":101,"error":"Invalid username/password."})");
    Await<std::pair<std::shared_ptr<ParseUser>, OptionalError>> done;
    ParseUser::logInWithUsernameInBackground("ann", "wrong", [done](auto user, auto error) {
        done.set({user, error});
    });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->first, nullptr);
    EXPECT_EQ(result->second->code, 101);
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(ParseClientTest, BecomeAdoptsTheSessionOfAToken) {
    respondNext(200, R"({"objectId":"u2","username":"bob"})");
    OptionalError error;
    auto user = ParseUser::become("r:given", &error);
    ASSERT_NE(user, nullptr) << error->description();
    EXPECT_EQ(user->sessionToken(), "r:given");
    EXPECT_EQ(ParseUser::currentUser(), user);
    const auto request = server_->requests().back();
    EXPECT_EQ(request.target, "/parse/users/me");
    EXPECT_EQ(request.headers.at("x-parse-session-token"), "r:given");
}

TEST_F(ParseClientTest, CloudFunctionUnwrapsTheResult) {
    respondNext(200, R"({"result":{"url":"https://signed"}})");
    Await<std::pair<json, OptionalError>> done;
    ParseCloud::callFunctionInBackground("getSignedUrlToDownloadByKey", {{"file_key", "a/b.zip"}},
                                         [done](json result, OptionalError error) {
                                             done.set({result, error});
                                         });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->first["url"], "https://signed");
    const auto request = server_->requests().back();
    EXPECT_EQ(request.target, "/parse/functions/getSignedUrlToDownloadByKey");
    EXPECT_EQ(json::parse(request.body), json::parse(R"({"file_key":"a/b.zip"})"));
    respondNext(400, R"({"code":141,"error":"boom"})");
    Await<std::pair<json, OptionalError>> failed;
    ParseCloud::callFunctionInBackground("x", json::object(), [failed](json value, OptionalError error) {
        failed.set({value, error});
    });
    EXPECT_EQ(failed.get()->second->code, 141);
}

TEST_F(ParseClientTest, ActivityNotificationsCarryRequestAndResponse) {
    test::Collector<std::string> seen;
    ScopedObserver will(
        NotificationCenter::defaultCenter(), kNetworkWillSendURLRequestNotification, [seen](const Notification& n) {
            const auto& record = std::any_cast<const HttpRequestRecord&>(n.userInfo.at(kNetworkRequestUserInfoKey));
            seen.add(record.method + " " + record.url + " " + record.body.value_or("-"));
        });
    ScopedObserver did(
        NotificationCenter::defaultCenter(), kNetworkDidReceiveURLResponseNotification, [seen](const Notification& n) {
            const auto& record = std::any_cast<const HttpResponseRecord&>(n.userInfo.at(kNetworkResponseUserInfoKey));
            const auto& body = std::any_cast<const std::string&>(n.userInfo.at(kNetworkResponseBodyUserInfoKey));
            seen.add(std::to_string(record.statusCode) + " " + body);
        });
    respondNext(200, R"({"results":[]})");
    find(ParseQuery("ClientTestRecord"));
    ASSERT_TRUE(seen.waitForCount(2));
    const auto items = seen.items();
    EXPECT_EQ(items[0].rfind("POST " + server_->url() + "/parse/classes/ClientTestRecord {", 0), 0u) << items[0];
    EXPECT_EQ(items[1], R"(200 {"results":[]})");
}

// A server holding `total` records: answers each page from the request's skip and limit.
FakeHttpServer::Handler pagedServer(int total, int failAtSkip = -1) {
    return [total, failAtSkip](const FakeHttpRequest& request) {
        const auto body = json::parse(request.body);
        const int skip = body.value("skip", 0);
        const int limit = body.value("limit", 100);
        if (skip == failAtSkip) return FakeHttpServer::response(500, R"({"code":1,"error":"boom"})");
        json results = json::array();
        for (int i = skip; i < std::min(total, skip + limit); ++i)
            results.push_back({{"objectId", "o" + std::to_string(i)}});
        return FakeHttpServer::response(200, json{{"results", results}}.dump());
    };
}

TEST_F(ParseClientTest, FindAllReadsEveryPageOnceAndInOrder) {
    server_->setHandler(pagedServer(250));
    Await<Objects> done;
    ParseQuery("ClientTestRecord")
        .findAllInBackground(
            [done](auto objects, auto error) {
                done.set({objects, error});
            },
            100, 4);
    const auto result = done.get();
    ASSERT_TRUE(result);
    ASSERT_FALSE(result->second);
    ASSERT_EQ(result->first.size(), 250u);
    for (int i = 0; i < 250; ++i)
        EXPECT_EQ(result->first[static_cast<std::size_t>(i)]->objectId(), "o" + std::to_string(i));
    // Four pages went out at once (the fourth may still be on its way when the first three make
    // the answer) and each full page may have asked for one more before the short third page was
    // seen: never more than six requests, never a page asked twice.
    ASSERT_TRUE(server_->waitForRequests(4, std::chrono::seconds(10)));
    std::set<int> skips;
    for (const auto& request : server_->requests())
        EXPECT_TRUE(skips.insert(json::parse(request.body).value("skip", 0)).second);
    EXPECT_GE(skips.size(), 4u);
    EXPECT_LE(skips.size(), 6u);
}

TEST_F(ParseClientTest, FindAllHonoursSkipAndLimit) {
    server_->setHandler(pagedServer(1000));
    Await<Objects> done;
    ParseQuery query("ClientTestRecord");
    query.setSkip(10).setLimit(150);
    query.findAllInBackground([done](auto objects, auto error) { done.set({objects, error}); }, 100, 8);
    const auto result = done.get();
    ASSERT_TRUE(result);
    ASSERT_EQ(result->first.size(), 150u);
    EXPECT_EQ(result->first.front()->objectId(), "o10");
    EXPECT_EQ(result->first.back()->objectId(), "o159");
    EXPECT_EQ(server_->requests().size(), 2u);
}

TEST_F(ParseClientTest, FindAllStopsAtAFailedPageWithThePagesBeforeIt) {
    server_->setHandler(pagedServer(1000, 200));
    Await<Objects> done;
    ParseQuery("ClientTestRecord")
        .findAllInBackground(
            [done](auto objects, auto error) {
                done.set({objects, error});
            },
            100, 2);
    const auto result = done.get();
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->second);
    EXPECT_EQ(result->second->code, 1);
    EXPECT_EQ(result->first.size(), 200u);
}

TEST_F(ParseClientTest, CompletionsNeverRunOnTheCallersThread) {
    Await<std::thread::id> network, cached;
    ParseQuery query("ClientTestRecord");
    query.setCachePolicy(CachePolicy::cacheElseNetwork);
    query.findInBackground([network](auto, auto) { network.set(std::this_thread::get_id()); });
    ASSERT_TRUE(network.get());
    query.findInBackground([cached](auto, auto) { cached.set(std::this_thread::get_id()); });
    ASSERT_TRUE(cached.get());
    EXPECT_NE(*network.get(), std::this_thread::get_id());
    EXPECT_NE(*cached.get(), std::this_thread::get_id());
}

}  // namespace
}  // namespace vantrel
