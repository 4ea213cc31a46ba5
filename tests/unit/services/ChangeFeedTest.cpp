// Live changes of the catalogue services against stand-in servers: how each event kind becomes a
// notification, the catalogue and draft filters, cached files of deleted records, list items with
// their component, and the catch-up after a lost connection. The real-backend side lives in the
// integration suite.

#include "support/BackendAwait.hpp"
#include "support/BackendFakeLiveQueryServer.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/SceneService.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <set>

#include <unistd.h>

namespace vantrel {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

json pointer(const std::string& className, const std::string& id) {
    return {{"__type", "Pointer"}, {"className", className}, {"objectId", id}};
}

json record(const std::string& className, const std::string& id, const std::string& catalog,
            json fields = json::object(), const std::string& updatedAt = "2026-01-01T00:00:00.000Z") {
    json object = {{"className", className},
                   {"objectId", id},
                   {"catalog", pointer("Catalog", catalog)},
                   {"createdAt", "2026-01-01T00:00:00.000Z"},
                   {"updatedAt", updatedAt}};
    if (fields.is_object()) object.update(fields);
    return object;
}

// One post: the notification name and the record's id as the host would read it.
struct Post {
    std::string name;
    std::string objectId;
    std::shared_ptr<ParseObject> object;
};

// What the stand-in REST server answers: component fetches, and the catalogue listing with the
// catch-up reads of the ids it names. Listings are answered as the server would: in object-id
// order when asked so, after the id given as "$gt", from "skip" on, at most `rowLimit` rows.
// `hook` runs before each answer about components and may hold it or change the listing.
struct Script {
    std::mutex mutex;
    json listing = json::array();
    std::optional<std::string> componentAnswer;
    std::size_t rowLimit = 1000000;
    std::function<void(const test::FakeParseRequest&)> hook;

    std::optional<std::string> answer(const test::FakeParseRequest& request) {
        std::function<void(const test::FakeParseRequest&)> before;
        {
            std::lock_guard lock(mutex);
            before = hook;
        }
        if (before && request.path.starts_with("classes/Component")) before(request);
        std::lock_guard lock(mutex);
        if (request.path.starts_with("classes/Component/")) return componentAnswer;
        if (request.path != "classes/Component" || listing.empty()) return std::nullopt;
        const auto where = request.body.value("where", json::object());
        const auto ids = where.value("objectId", json::object());
        json found = json::array();
        if (ids.contains("$in")) {
            for (const auto& id : ids["$in"])
                for (const auto& item : listing)
                    if (item["objectId"] == id) found.push_back(item);
            return test::ServicesFakeBackend::results(found);
        }
        std::vector<json> rows(listing.begin(), listing.end());
        if (request.body.value("order", "").starts_with("objectId"))
            std::sort(rows.begin(), rows.end(),
                      [](const json& a, const json& b) { return a["objectId"] < b["objectId"]; });
        const std::string after = ids.is_object() && ids.contains("$gt") ? ids["$gt"].get<std::string>() : "";
        std::size_t skip = static_cast<std::size_t>(request.body.value("skip", 0));
        const auto limit = std::min<std::size_t>(rowLimit, static_cast<std::size_t>(request.body.value("limit", 100)));
        for (const auto& row : rows) {
            if (!after.empty() && row["objectId"].get<std::string>() <= after) continue;
            if (skip > 0) {
                --skip;
                continue;
            }
            if (found.size() < limit) found.push_back(row);
        }
        return test::ServicesFakeBackend::results(found);
    }
};

class ChangeFeedTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        // The script outlives the fixture: a late request (the listing that follows a subscription)
        // may still be answered while the test is torn down.
        backend_.setRoute(
            [script = script_](const test::FakeParseRequest& request) { return script->answer(request); });
        LiveQueryClientOptions options;
        options.backoffBase = milliseconds(20);
        options.backoffCap = milliseconds(100);
        client_ = std::make_shared<LiveQueryClient>(live_.url(), "app-id", "client-key", "", options);
        LiveQueryClient::setShared(client_);
        catalog_ = std::make_shared<CatalogEntity>();
        catalog_->setObjectId("c1");
        cacheHome_ = std::filesystem::temp_directory_path() / ("vantrel-changefeed-" + std::to_string(::getpid()));
        DownloadingService::sharedInstance().setLocalCacheHome(cacheHome_);
        for (const char* name :
             {VantrelSDK::componentCreatedNotification, VantrelSDK::componentUpdatedNotification,
              VantrelSDK::componentDeletedNotification, VantrelSDK::materialDeletedNotification,
              VantrelSDK::appListItemCreatedNotification, VantrelSDK::appListItemUpdatedNotification}) {
            observers_.emplace_back(NotificationCenter::defaultCenter(), name,
                                    [this](const Notification& n) { collect(n); });
        }
    }

    void TearDown() override {
        observers_.clear();
        ComponentService::sharedInstance().unsubscribe();
        MaterialService::sharedInstance().unsubscribe();
        AppListItemService::sharedInstance().unsubscribe();
        LiveQueryClient::setShared(nullptr);
        client_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(cacheHome_, ignored);
    }

    void collect(const Notification& notification) {
        Post post{notification.name, "", nullptr};
        if (const auto* c = std::any_cast<std::shared_ptr<ComponentEntity>>(&notification.object)) post.object = *c;
        if (const auto* m = std::any_cast<std::shared_ptr<MaterialEntity>>(&notification.object)) post.object = *m;
        if (const auto* a = std::any_cast<std::shared_ptr<AppListItemEntity>>(&notification.object)) post.object = *a;
        if (post.object) post.objectId = post.object->objectId().value_or("");
        if (onPost_) onPost_(post);
        posts_.add(post);
    }

    // Subscribes `service` to catalogue c1 and waits until the server confirmed it.
    template <class Service>
    int subscribe(Service& service) {
        const auto before = framesWithOp("subscribe");
        service.subscribe(catalog_);
        EXPECT_TRUE(live_.waitForOp("subscribe", before + 1));
        auto subscription = service.subscription();
        EXPECT_TRUE(subscription);
        return subscription ? subscription->requestId() : 0;
    }

    void send(const std::string& op, int requestId, json object, std::optional<json> original = std::nullopt) {
        json frame = {{"op", op}, {"clientId", "fake-client"}, {"requestId", requestId}, {"object", std::move(object)}};
        if (original) frame["original"] = *original;
        live_.send(frame);
    }

    std::size_t framesWithOp(const std::string& op) const {
        const auto frames = live_.frames();
        return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(),
                                                      [&](const json& frame) { return frame.value("op", "") == op; }));
    }

    bool waitForPosts(std::size_t count) { return posts_.waitForCount(count); }

    std::vector<std::pair<std::string, std::string>> postsSeen() const {
        std::vector<std::pair<std::string, std::string>> seen;
        for (const auto& post : posts_.items()) seen.emplace_back(post.name, post.objectId);
        return seen;
    }

    test::ScopedSdkSettings settings_;
    test::ServicesFakeBackend backend_;
    test::FakeLiveQueryServer live_;
    std::shared_ptr<LiveQueryClient> client_;
    std::shared_ptr<CatalogEntity> catalog_;
    std::filesystem::path cacheHome_;
    std::vector<ScopedObserver> observers_;
    test::Collector<Post> posts_;
    std::function<void(const Post&)> onPost_;
    std::shared_ptr<Script> script_ = std::make_shared<Script>();
    std::mutex& routeMutex_ = script_->mutex;

    // Holds the next answer `matches` picks until the returned release runs; `held` opens once it
    // is being held.
    std::function<void()> holdNext(std::function<bool(const test::FakeParseRequest&)> matches, test::Await<bool> held) {
        test::Await<bool> release;
        auto once = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard lock(routeMutex_);
        script_->hook = [matches, held, release, once](const test::FakeParseRequest& request) {
            if (!matches(request) || once->exchange(true)) return;
            held.set(true);
            (void)release.get();
        };
        return [release] { release.set(true); };
    }

    static bool isListing(const test::FakeParseRequest& request) {
        return !request.body.value("where", json::object()).value("objectId", json::object()).contains("$in");
    }

    // Subscribes the component service and waits until its baseline listing asked for the page
    // after `lastId`, the last id of the listing: the empty page that ends it.
    int subscribeWithBaseline(const std::string& lastId) {
        const int id = subscribe(ComponentService::sharedInstance());
        EXPECT_TRUE(test::eventually([&] {
            for (const auto& sent : backend_.requests("classes/Component")) {
                const auto ids = sent.body.value("where", json::object()).value("objectId", json::object());
                if (ids.is_object() && ids.value("$gt", "") == lastId) return true;
            }
            return false;
        }));
        return id;
    }
    json& listing_ = script_->listing;
    std::optional<std::string>& componentAnswer_ = script_->componentAnswer;
};

TEST_F(ChangeFeedTest, EachEventKindBecomesItsNotificationWithTheRecordAsItsOwnClass) {
    const int id = subscribe(ComponentService::sharedInstance());
    send("create", id, record("Component", "k1", "c1"));
    send("enter", id, record("Component", "k2", "c1"), record("Component", "k2", "c0"));
    send("update", id, record("Component", "k1", "c1", {{"name", "Sofa 2"}}));
    send("delete", id, record("Component", "k1", "c1"));
    // A record that left the catalogue now names another one; it is announced as it was here.
    send("leave", id, record("Component", "k2", "c9"), record("Component", "k2", "c1"));
    ASSERT_TRUE(waitForPosts(5));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {VantrelSDK::componentCreatedNotification, "k1"},
        {VantrelSDK::componentCreatedNotification, "k2"},
        {VantrelSDK::componentUpdatedNotification, "k1"},
        {VantrelSDK::componentDeletedNotification, "k1"},
        {VantrelSDK::componentDeletedNotification, "k2"}};
    EXPECT_EQ(postsSeen(), expected);
    EXPECT_TRUE(std::dynamic_pointer_cast<ComponentEntity>(posts_.items()[2].object));
    EXPECT_EQ(posts_.items()[2].object->value("name").asString().value_or(""), "Sofa 2");
}

TEST_F(ChangeFeedTest, OtherCataloguesAndDraftsAreFilteredButDraftDeletionsAreNot) {
    const int id = subscribe(ComponentService::sharedInstance());
    send("update", id, record("Component", "other", "c2"));
    send("delete", id, record("Component", "other", "c2"));
    send("update", id, record("Component", "drafted", "c1", {{"inDraftBy", "someone@test.invalid"}}));
    send("create", id, record("Component", "drafted", "c1", {{"inDraftBy", "someone@test.invalid"}}));
    send("update", id, record("Component", "blank", "c1", {{"inDraftBy", " \n "}}));
    send("delete", id, record("Component", "drafted", "c1", {{"inDraftBy", "someone@test.invalid"}}));
    ASSERT_TRUE(waitForPosts(2));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {VantrelSDK::componentUpdatedNotification, "blank"}, {VantrelSDK::componentDeletedNotification, "drafted"}};
    EXPECT_EQ(postsSeen(), expected);
}

TEST_F(ChangeFeedTest, ADeletedRecordLosesItsCachedFilesBeforeItIsAnnounced) {
    auto& files = DownloadingService::sharedInstance();
    const FileData bytes{'x'};
    ASSERT_TRUE(files.addToLocalCache("/models/sofa.zip", bytes));
    ASSERT_TRUE(files.addToLocalCache("thumbs/sofa.png", bytes));
    ASSERT_TRUE(files.addToLocalCache("textures/velvet.png", bytes));
    ASSERT_TRUE(files.addToLocalCache("textures/keep.png", bytes));
    std::vector<bool> presentWhenPosted;
    onPost_ = [&](const Post&) {
        presentWhenPosted = {files.isExistsInLocalCache("models/sofa.zip"),
                             files.isExistsInLocalCache("thumbs/sofa.png"),
                             files.isExistsInLocalCache("textures/velvet.png")};
    };
    const int components = subscribe(ComponentService::sharedInstance());
    send("delete", components,
         record("Component", "k1", "c1",
                {{"scnModelFilePath", "/models/sofa.zip"}, {"thumbnailFilePath", "thumbs/sofa.png"}}));
    ASSERT_TRUE(waitForPosts(1));
    EXPECT_EQ(presentWhenPosted, std::vector<bool>({false, false, true}));

    const int materials = subscribe(MaterialService::sharedInstance());
    send("delete", materials,
         record("Material", "m1", "c1",
                {{"scnMaterialProperties",
                  {{"diffuse", {{"contents", "COLOR"}, {"textureFilePath", "textures/velvet.png"}}}}}}));
    ASSERT_TRUE(waitForPosts(2));
    EXPECT_EQ(posts_.items()[1].name, VantrelSDK::materialDeletedNotification);
    EXPECT_TRUE(files.isExistsInLocalCache("textures/keep.png"));
}

TEST_F(ChangeFeedTest, AListItemIsAnnouncedWithItsComponentOrWithNullWhenItIsGone) {
    const int id = subscribe(AppListItemService::sharedInstance());
    {
        std::lock_guard lock(routeMutex_);
        componentAnswer_ =
            test::FakeHttpServer::response(200, record("Component", "k1", "c1", {{"name", "Sofa"}}).dump());
    }
    send(
        "create", id,
        record("MarketingListItem", "i1", "c1", {{"component", pointer("Component", "k1")}, {"type", "MAIN_PRODUCT"}}));
    ASSERT_TRUE(waitForPosts(1));
    auto item = std::dynamic_pointer_cast<AppListItemEntity>(posts_.items()[0].object);
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->component());
    EXPECT_EQ(item->component()->value("name").asString().value_or(""), "Sofa");

    test::LogCapture log;
    {
        std::lock_guard lock(routeMutex_);
        componentAnswer_ = test::ServicesFakeBackend::error(404, 101, "Object not found.");
    }
    send("update", id, record("MarketingListItem", "i2", "c1", {{"component", pointer("Component", "gone")}}));
    ASSERT_TRUE(waitForPosts(2));
    EXPECT_EQ(posts_.items()[1].name, VantrelSDK::appListItemUpdatedNotification);
    item = std::dynamic_pointer_cast<AppListItemEntity>(posts_.items()[1].object);
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->component());
    EXPECT_TRUE(item->containsKey("component")) << "the key holds a null, not nothing";
    EXPECT_EQ(log.count("Unable to fetch component"), 0U);
    EXPECT_EQ(log.count("processResult"), 0U);
}

TEST_F(ChangeFeedTest, AListItemWhoseComponentCannotBeReadIsStillAnnouncedAfterTwoErrorLines) {
    const int id = subscribe(AppListItemService::sharedInstance());
    test::LogCapture log;
    {
        std::lock_guard lock(routeMutex_);
        componentAnswer_ = test::ServicesFakeBackend::error(500, 1, "internal trouble");
    }
    send("update", id, record("MarketingListItem", "i3", "c1", {{"component", pointer("Component", "k7")}}));
    ASSERT_TRUE(waitForPosts(1));
    auto item = std::dynamic_pointer_cast<AppListItemEntity>(posts_.items()[0].object);
    ASSERT_TRUE(item);
    EXPECT_FALSE(item->component());
    EXPECT_EQ(log.count("processResult: "), 1U);
    EXPECT_EQ(log.count("[AppListItemService.subscriptionProcessOnUpdate] Unable to fetch component[k7] due error: "),
              1U);
}

TEST_F(ChangeFeedTest, SubscribingTwiceKeepsTheFirstSubscriptionAndUnsubscribingEmptiesTheService) {
    auto& components = ComponentService::sharedInstance();
    subscribe(components);
    const auto first = components.subscription();
    auto other = std::make_shared<CatalogEntity>();
    other->setObjectId("c2");
    components.subscribe(other);
    EXPECT_EQ(components.subscription(), first);
    EXPECT_EQ(client_->subscriptionCount(), 1U);
    ASSERT_TRUE(components.subscriptionQuery());
    EXPECT_EQ(components.subscriptionQuery()->whereJSON()["catalog"]["objectId"], "c1");
    EXPECT_EQ(components.subscriptionQuery()->findParameters().value("include", ""), "parent");

    components.unsubscribe();
    EXPECT_FALSE(components.subscription());
    EXPECT_FALSE(components.subscriptionQuery());
    EXPECT_TRUE(test::eventually([&] { return client_->subscriptionCount() == 0; }));
}

TEST_F(ChangeFeedTest, AfterALostConnectionWhatChangedMeanwhileIsAnnounced) {
    {
        std::lock_guard lock(routeMutex_);
        listing_ = json::array({record("Component", "same", "c1"), record("Component", "edited", "c1"),
                                record("Component", "removed", "c1", {{"thumbnailFilePath", "thumbs/removed.png"}})});
    }
    ASSERT_TRUE(DownloadingService::sharedInstance().addToLocalCache("thumbs/removed.png", FileData{'x'}));
    const int id = subscribe(ComponentService::sharedInstance());
    // The baseline listing runs once the subscription is confirmed.
    ASSERT_TRUE(test::eventually([&] { return backend_.requests("classes/Component").size() >= 1; }));

    {
        std::lock_guard lock(routeMutex_);
        listing_ = json::array({record("Component", "same", "c1"),
                                record("Component", "edited", "c1", {{"name", "Edited"}}, "2026-02-01T00:00:00.000Z"),
                                record("Component", "added", "c1", {}, "2026-02-01T00:00:00.000Z"),
                                record("Component", "draft", "c1", {{"inDraftBy", "x"}}, "2026-02-01T00:00:00.000Z")});
    }
    live_.dropConnections();
    ASSERT_TRUE(live_.waitForOp("subscribe", 2));
    ASSERT_TRUE(waitForPosts(3));
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto& post : posts_.items()) seen.emplace(post.name, post.objectId);
    const std::set<std::pair<std::string, std::string>> expected = {
        {VantrelSDK::componentCreatedNotification, "added"},
        {VantrelSDK::componentUpdatedNotification, "edited"},
        {VantrelSDK::componentDeletedNotification, "removed"}};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(DownloadingService::sharedInstance().isExistsInLocalCache("thumbs/removed.png"))
        << "a record deleted meanwhile still clears its files";
    // The listing asked only for what the comparison and the files need.
    const auto listings = backend_.requests("classes/Component");
    ASSERT_FALSE(listings.empty());
    EXPECT_EQ(listings.front().body.value("keys", ""),
              "updatedAt,catalog,thumbnailFilePath,scnModelFilePath,scnModelAssetFilePaths");
    (void)id;
}

TEST_F(ChangeFeedTest, ARecordCreatedLiveWhileTheCatchUpListingRunsIsNotTakenAsDeleted) {
    {
        std::lock_guard lock(routeMutex_);
        listing_ = json::array({record("Component", "same", "c1")});
    }
    ASSERT_TRUE(DownloadingService::sharedInstance().addToLocalCache("thumbs/fresh.png", FileData{'x'}));
    const int id = subscribeWithBaseline("same");
    test::Await<bool> held;
    auto release = holdNext(
        [](const test::FakeParseRequest& r) {
            return isListing(r) && !r.body.value("where", json::object()).contains("objectId");
        },
        held);
    live_.dropConnections();
    ASSERT_TRUE(held.get());  // the catch-up listing is on its way, read before the creation below

    send("create", id,
         record("Component", "fresh", "c1", {{"thumbnailFilePath", "thumbs/fresh.png"}}, "2026-03-01T00:00:00.000Z"));
    ASSERT_TRUE(waitForPosts(1));
    {
        std::lock_guard lock(routeMutex_);
        // What the listing read: the new record is not in it yet; a record added before it is.
        listing_ = json::array(
            {record("Component", "same", "c1"), record("Component", "marker", "c1", {}, "2026-02-01T00:00:00.000Z")});
    }
    release();
    ASSERT_TRUE(waitForPosts(2));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {VantrelSDK::componentCreatedNotification, "fresh"}, {VantrelSDK::componentCreatedNotification, "marker"}};
    EXPECT_EQ(postsSeen(), expected);
    EXPECT_TRUE(DownloadingService::sharedInstance().isExistsInLocalCache("thumbs/fresh.png"));
}

TEST_F(ChangeFeedTest, TheListingSurvivesARowLimitBelowItsPageAndADeletionBetweenPages) {
    {
        std::lock_guard lock(routeMutex_);
        script_->rowLimit = 2;  // a server answering fewer rows than asked for
        for (const char* name : {"a", "b", "c", "d", "e"}) listing_.push_back(record("Component", name, "c1"));
    }
    subscribeWithBaseline("e");
    auto deletedBetweenPages = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(routeMutex_);
        listing_.push_back(record("Component", "f", "c1", {}, "2026-02-01T00:00:00.000Z"));
        // Once the catch-up's first page is out, "a" is deleted on the server.
        // The script holds its hook, so the hook holds the script weakly.
        script_->hook = [weakScript = std::weak_ptr(script_),
                         deletedBetweenPages](const test::FakeParseRequest& request) {
            const auto where = request.body.value("where", json::object());
            if (!where.contains("objectId") && !request.body.contains("skip")) return;
            const auto script = weakScript.lock();
            if (!script || deletedBetweenPages->exchange(true)) return;
            std::lock_guard scriptLock(script->mutex);
            script->listing.erase(script->listing.begin());
        };
    }
    live_.dropConnections();
    ASSERT_TRUE(waitForPosts(1));
    const std::vector<std::pair<std::string, std::string>> expected = {{VantrelSDK::componentCreatedNotification, "f"}};
    EXPECT_EQ(postsSeen(), expected) << "no live record may be announced as deleted";
}

TEST_F(ChangeFeedTest, CatchUpReadsNeverOvertakeANewerLiveUpdateNorOutliveTheSubscription) {
    {
        std::lock_guard lock(routeMutex_);
        listing_ = json::array({record("Component", "edited", "c1", {{"name", "One"}})});
    }
    const int id = subscribeWithBaseline("edited");
    auto isRead = [](const test::FakeParseRequest& r) { return !isListing(r); };
    test::Await<bool> held;
    auto release = holdNext(isRead, held);
    {
        std::lock_guard lock(routeMutex_);
        listing_ = json::array({record("Component", "edited", "c1", {{"name", "Two"}}, "2026-02-01T00:00:00.000Z")});
    }
    test::LogCapture log;
    live_.dropConnections();
    ASSERT_TRUE(held.get());  // the catch-up read of "Two" is on its way
    send("update", id, record("Component", "edited", "c1", {{"name", "Three"}}, "2026-03-01T00:00:00.000Z"));
    ASSERT_TRUE(waitForPosts(1));
    release();
    ASSERT_TRUE(test::eventually([&] { return log.count("an older copy is dropped") == 1; }));
    ASSERT_EQ(posts_.items().size(), 1u);
    EXPECT_EQ(posts_.items()[0].object->value("name").asString().value_or(""), "Three");

    // A catch-up read that answers after the service unsubscribed announces nothing.
    test::Await<bool> heldAgain;
    auto releaseAgain = holdNext(isRead, heldAgain);
    {
        std::lock_guard lock(routeMutex_);
        listing_.push_back(record("Component", "late", "c1", {}, "2026-04-01T00:00:00.000Z"));
    }
    live_.dropConnections();
    ASSERT_TRUE(heldAgain.get());
    ComponentService::sharedInstance().unsubscribe();
    releaseAgain();
    ASSERT_TRUE(test::eventually([&] { return log.count("a catch-up change of late is not announced") == 1; }));
    EXPECT_EQ(posts_.items().size(), 1u);
}

TEST_F(ChangeFeedTest, AListItemWaitingForItsComponentKeepsTheFeedsOrderAndEndsWithTheSubscription) {
    {
        std::lock_guard lock(routeMutex_);
        componentAnswer_ =
            test::FakeHttpServer::response(200, record("Component", "k1", "c1", {{"name", "Sofa"}}).dump());
    }
    auto isFetch = [](const test::FakeParseRequest& r) { return r.path.starts_with("classes/Component/"); };
    auto item = [](const std::string& id, const std::string& updatedAt) {
        return record("MarketingListItem", id, "c1", {{"component", pointer("Component", "k1")}}, updatedAt);
    };
    test::LogCapture log;

    // An older state whose component answers after a newer state was announced is dropped.
    int id = subscribe(AppListItemService::sharedInstance());
    test::Await<bool> held;
    auto release = holdNext(isFetch, held);
    send("update", id, item("i1", "2026-02-01T00:00:00.000Z"));
    ASSERT_TRUE(held.get());
    send("update", id, item("i1", "2026-03-01T00:00:00.000Z"));
    ASSERT_TRUE(waitForPosts(1));
    release();
    ASSERT_TRUE(test::eventually([&] { return log.count("i1 was announced in a newer state already") == 1; }));
    ASSERT_EQ(posts_.items().size(), 1u);
    EXPECT_EQ(posts_.items()[0].object->updatedAt(), parseParseDate("2026-03-01T00:00:00.000Z"));

    // One whose component answers after unsubscribing is not announced at all.
    test::Await<bool> heldAgain;
    auto releaseAgain = holdNext(isFetch, heldAgain);
    send("create", id, item("i2", "2026-04-01T00:00:00.000Z"));
    ASSERT_TRUE(heldAgain.get());
    AppListItemService::sharedInstance().unsubscribe();
    releaseAgain();
    ASSERT_TRUE(test::eventually([&] { return log.count("unsubscribed: a change of i2 is not announced") == 1; }));
    EXPECT_EQ(posts_.items().size(), 1u);
}

}  // namespace
}  // namespace vantrel
