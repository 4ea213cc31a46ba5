// Live changes against the reference backend, with the Parse JavaScript SDK as the client that
// makes them: the notifications of each record kind, the draft and catalogue rules, cached files
// of deleted records, starting and stopping with the session, the reconnect on activation, and
// changes made while the library's LiveQuery server was down.

#include "sdk/Reconnect.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/SceneService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

constexpr const char* kLabels[] = {"Materials", "Components", "AnchorObjects", "Scenes", "AppListItems"};

struct Post {
    std::string name;
    std::string objectId;
    std::shared_ptr<ParseObject> object;
};

std::shared_ptr<ParseObject> objectOf(const Notification& notification) {
    if (const auto* c = std::any_cast<std::shared_ptr<ComponentEntity>>(&notification.object)) return *c;
    if (const auto* m = std::any_cast<std::shared_ptr<MaterialEntity>>(&notification.object)) return *m;
    if (const auto* a = std::any_cast<std::shared_ptr<AppListItemEntity>>(&notification.object)) return *a;
    if (const auto* s = std::any_cast<std::shared_ptr<SceneEntity>>(&notification.object)) return *s;
    if (const auto* o = std::any_cast<std::shared_ptr<AnchorObjectEntity>>(&notification.object)) return *o;
    return nullptr;
}

bool allUnsubscribed() {
    return !MaterialService::sharedInstance().subscriptionQuery() &&
           !ComponentService::sharedInstance().subscriptionQuery() &&
           !AnchorObjectService::sharedInstance().subscriptionQuery() &&
           !SceneService::sharedInstance().subscriptionQuery() &&
           !AppListItemService::sharedInstance().subscriptionQuery();
}

class LiveChangesTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        data_ = seedCompany(json::array({
            {{"alias", "otherCatalog"},
             {"className", "Catalog"},
             {"fields", {{"company", {{"$ref", "company"}}}, {"name", "Other"}}}},
        }));
        ASSERT_TRUE(data_.contains("otherCatalog")) << data_.dump();
        cacheHome_ = std::filesystem::temp_directory_path() / uniqueName("live-cache");
        DownloadingService::sharedInstance().setLocalCacheHome(cacheHome_);
        for (const char* name : {VantrelSDK::componentCreatedNotification, VantrelSDK::componentUpdatedNotification,
                                 VantrelSDK::componentDeletedNotification, VantrelSDK::materialCreatedNotification,
                                 VantrelSDK::materialUpdatedNotification, VantrelSDK::materialDeletedNotification,
                                 VantrelSDK::appListItemCreatedNotification, VantrelSDK::appListItemUpdatedNotification,
                                 VantrelSDK::appListItemDeletedNotification, VantrelSDK::sceneCreatedNotification}) {
            observers_.emplace_back(NotificationCenter::defaultCenter(), name, [posts = posts_](const Notification& n) {
                auto object = objectOf(n);
                posts.add(Post{n.name, object ? object->objectId().value_or("") : "", object});
            });
        }
    }

    void TearDown() override {
        observers_.clear();
        ServicesBackendFixture::TearDown();  // signs out: every subscription ends
        LiveQueryClient::setShared(nullptr);
        client_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(cacheHome_, ignored);
    }

    void useLiveQueryServer(bool second) {
        LiveQueryClientOptions options;
        options.backoffBase = milliseconds(200);
        options.backoffCap = milliseconds(1000);
        client_ = std::make_shared<LiveQueryClient>(liveQueryUrl(second), env().applicationId, env().clientKey,
                                                    env().caFile, options);
        LiveQueryClient::setShared(client_);
    }

    // Signs the employee in (which subscribes) and waits until the server confirmed all five.
    void signInAndWaitForSubscriptions(const test::LogCapture& log, std::size_t times = 1) {
        signInAs(data_["employee"]);
        waitForSubscriptions(log, times);
    }

    void waitForSubscriptions(const test::LogCapture& log, std::size_t times = 1) {
        for (const char* label : kLabels) {
            const std::string line = std::string(label) + " - subscribed.";
            ASSERT_TRUE(test::eventually([&] { return log.count(line) >= times; })) << line;
        }
    }

    std::string managerLogin() const {
        return data_["manager"]["username"].get<std::string>() + ":" + data_["manager"]["password"].get<std::string>();
    }

    json inCatalog(json fields, const std::string& catalogAlias = "catalog") const {
        fields["catalog"] = {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", data_[catalogAlias]}};
        return fields;
    }

    std::string save(const std::string& className, const json& fields) {
        return peer({"--login", managerLogin(), "save", className, fields.dump()});
    }
    void update(const std::string& className, const std::string& id, const json& fields) {
        peer({"--login", managerLogin(), "update", className, id, fields.dump()});
    }
    void remove(const std::string& className, const std::string& id) {
        peer({"--login", managerLogin(), "delete", className, id});
    }

    bool waitForPost(const std::string& name, const std::string& id) {
        return posts_.waitFor([&](const std::vector<Post>& all) {
            return std::any_of(all.begin(), all.end(),
                               [&](const Post& p) { return p.name == name && p.objectId == id; });
        });
    }

    std::size_t postsOf(const std::string& name, const std::string& id) const {
        const auto all = posts_.items();
        return static_cast<std::size_t>(
            std::count_if(all.begin(), all.end(), [&](const Post& p) { return p.name == name && p.objectId == id; }));
    }

    Post postOf(const std::string& name, const std::string& id) const {
        for (const auto& post : posts_.items())
            if (post.name == name && post.objectId == id) return post;
        return {};
    }

    json data_;
    std::filesystem::path cacheHome_;
    std::shared_ptr<LiveQueryClient> client_;
    std::vector<ScopedObserver> observers_;
    test::Collector<Post> posts_;
};

TEST_F(LiveChangesTest, ChangesByTheJavaScriptSdkBecomeTheRightNotifications) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);

    const auto sofa = save("Component", inCatalog({{"name", "Sofa"}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentCreatedNotification, sofa));
    update("Component", sofa, {{"name", "Sofa 2"}});
    ASSERT_TRUE(waitForPost(VantrelSDK::componentUpdatedNotification, sofa));
    EXPECT_EQ(postOf(VantrelSDK::componentUpdatedNotification, sofa).object->value("name").asString().value_or(""),
              "Sofa 2");

    // Into the catalogue from another one (entered), and out again (left).
    const auto moved = save("Component", inCatalog({{"name", "Elsewhere"}}, "otherCatalog"));
    update("Component", moved, inCatalog({{"name", "Moved in"}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentCreatedNotification, moved));
    update("Component", moved, inCatalog({{"name", "Moved out"}}, "otherCatalog"));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentDeletedNotification, moved));

    const auto velvet = save("Material", inCatalog({{"name", "Velvet"}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::materialCreatedNotification, velvet));
    remove("Material", velvet);
    ASSERT_TRUE(waitForPost(VantrelSDK::materialDeletedNotification, velvet));

    // A list item arrives with its component read in full; one whose component is gone with null.
    const auto item =
        save("MarketingListItem",
             inCatalog({{"type", "MAIN_PRODUCT"},
                        {"index", 1},
                        {"component", {{"__type", "Pointer"}, {"className", "Component"}, {"objectId", sofa}}}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::appListItemCreatedNotification, item));
    auto listed =
        std::dynamic_pointer_cast<AppListItemEntity>(postOf(VantrelSDK::appListItemCreatedNotification, item).object);
    ASSERT_TRUE(listed && listed->component());
    EXPECT_EQ(listed->component()->value("name").asString().value_or(""), "Sofa 2");

    const test::LogCapture fetchLog;
    update("MarketingListItem", item,
           {{"component", {{"__type", "Pointer"}, {"className", "Component"}, {"objectId", "noSuchThing"}}}});
    ASSERT_TRUE(waitForPost(VantrelSDK::appListItemUpdatedNotification, item));
    listed =
        std::dynamic_pointer_cast<AppListItemEntity>(postOf(VantrelSDK::appListItemUpdatedNotification, item).object);
    ASSERT_TRUE(listed);
    EXPECT_FALSE(listed->component());
    EXPECT_EQ(fetchLog.count("Unable to fetch component"), 0U);

    remove("Component", sofa);
    ASSERT_TRUE(waitForPost(VantrelSDK::componentDeletedNotification, sofa));
    // Nothing of the other catalogue was announced.
    EXPECT_EQ(postsOf(VantrelSDK::componentUpdatedNotification, moved), 0U);
}

TEST_F(LiveChangesTest, DraftsAreQuietUntilDeletedAndDeletionsClearTheCachedFilesFirst) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    auto& files = DownloadingService::sharedInstance();
    const std::string model = "models/" + uniqueName("draft") + ".zip";
    const std::string thumbnail = "thumbs/" + uniqueName("draft") + ".png";
    ASSERT_TRUE(files.addToLocalCache(model, FileData{'m'}));
    ASSERT_TRUE(files.addToLocalCache(thumbnail, FileData{'t'}));
    std::vector<bool> presentWhenPosted;
    ScopedObserver deletions(
        NotificationCenter::defaultCenter(), VantrelSDK::componentDeletedNotification, [&](const Notification&) {
            presentWhenPosted = {files.isExistsInLocalCache(model), files.isExistsInLocalCache(thumbnail)};
        });

    const auto draft = save("Component", inCatalog({{"name", "Draft"},
                                                    {"inDraftBy", "designer@test.invalid"},
                                                    {"scnModelFilePath", model},
                                                    {"thumbnailFilePath", thumbnail}}));
    update("Component", draft, {{"name", "Draft 2"}});
    update("Component", draft, {{"inDraftBy", "   "}});  // blank: no longer a draft
    ASSERT_TRUE(waitForPost(VantrelSDK::componentUpdatedNotification, draft));
    update("Component", draft, {{"inDraftBy", "designer@test.invalid"}});
    remove("Component", draft);
    ASSERT_TRUE(waitForPost(VantrelSDK::componentDeletedNotification, draft));
    EXPECT_EQ(postsOf(VantrelSDK::componentCreatedNotification, draft), 0U);
    EXPECT_EQ(postsOf(VantrelSDK::componentUpdatedNotification, draft), 1U) << "only the update that left the draft";
    EXPECT_EQ(presentWhenPosted, std::vector<bool>({false, false}));
}

TEST_F(LiveChangesTest, SubscriptionsFollowTheSession) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    const auto first = ComponentService::sharedInstance().subscription();
    const auto held = client_->subscriptionCount();

    CatalogService::sharedInstance().subscribeIfNeeded();
    CatalogService::sharedInstance().subscribeIfNeeded();
    // Give the two lookups time to finish: they find the same catalogue and change nothing.
    ASSERT_TRUE(test::eventually([&] { return log.count("Catalog - ") == 0 && client_->subscriptionCount() == held; }));
    EXPECT_EQ(ComponentService::sharedInstance().subscription(), first);

    // Sign-out: everything unsubscribed, the client disconnected.
    test::Await<bool> signedOut;
    AuthService::sharedInstance().signOut(false, [signedOut] { signedOut.set(true); });
    ASSERT_TRUE(signedOut.get());
    EXPECT_TRUE(allUnsubscribed());
    EXPECT_TRUE(client_->isDisconnected());

    // Signing in again wakes the client up before subscribing.
    const test::LogCapture again;
    signInAndWaitForSubscriptions(again);
    EXPECT_FALSE(client_->isDisconnected());
    const auto sofa = save("Component", inCatalog({{"name", "After"}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentCreatedNotification, sofa));
}

TEST_F(LiveChangesTest, WithoutASessionSubscribingSignsOutAndLeavesEverythingStopped) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    ParseUser::logOut();  // gone behind the services' back
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    CatalogService::sharedInstance().subscribeIfNeeded();
    ASSERT_TRUE(signOuts.waitFor(1));
    ASSERT_TRUE(test::eventually([&] { return allUnsubscribed() && client_->isDisconnected(); }));
    EXPECT_GE(log.count("Catalog - unable to subscribe current catalog is null."), 1U);
}

TEST_F(LiveChangesTest, ACompanyWithoutCatalogueSubscribesNothingAndKeepsTheSession) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    CatalogService::sharedInstance().unsubscribeAll();
    for (const char* alias : {"catalog", "otherCatalog"})
        peer({"--master", "delete", "Catalog", data_[alias].get<std::string>()});

    const test::LogCapture after;
    CatalogService::sharedInstance().subscribeIfNeeded();
    ASSERT_TRUE(
        test::eventually([&] { return after.count("Catalog - unable to subscribe current catalog is null.") == 1; }));
    ASSERT_TRUE(test::eventually([&] { return client_->isDisconnected(); }));
    EXPECT_TRUE(allUnsubscribed());
    EXPECT_TRUE(ParseUser::currentUser()) << "a missing catalogue is no reason to end the session";
}

TEST_F(LiveChangesTest, ActivationResubscribesAValidSession) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    CatalogService::sharedInstance().unsubscribeAll();
    ASSERT_TRUE(allUnsubscribed());

    test::RequestRecorder requests;
    detail::reconnectSession();
    waitForSubscriptions(log, 2);
    EXPECT_FALSE(client_->isDisconnected());
    EXPECT_GE(requests.requests("/classes/UnsupportedAppVersion").size(), 1U);
    EXPECT_GE(requests.requests("/classes/Company").size(), 1U) << "the company is read from the backend";
}

TEST_F(LiveChangesTest, ActivationWithoutAVersionSignsOutQuietlyWithoutLookingForTheCompany) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    settings_.setVersionName("");
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    test::NotificationCounter unsupported(VantrelSDK::unsupportedAppVersionNotification);
    test::RequestRecorder requests;
    detail::reconnectSession();
    ASSERT_TRUE(unsupported.waitFor(1));
    EXPECT_TRUE(unsupported.allWithoutObject());
    EXPECT_FALSE(ParseUser::currentUser());
    EXPECT_TRUE(allUnsubscribed());
    EXPECT_EQ(signOuts.count(), 0U);
    EXPECT_TRUE(requests.requests("/classes/Company").empty());
    EXPECT_TRUE(requests.requests("/classes/UnsupportedAppVersion").empty());
}

TEST_F(LiveChangesTest, ActivationWhoseCompanyIsGoneSignsOutOnceAndSubscribesNothing) {
    useLiveQueryServer(false);
    test::LogCapture log;
    signInAndWaitForSubscriptions(log);
    CatalogService::sharedInstance().unsubscribeAll();
    peer({"--master", "delete", "Company", data_["company"].get<std::string>()});

    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    detail::reconnectSession();
    ASSERT_TRUE(signOuts.waitFor(1));
    ASSERT_TRUE(test::eventually([] { return !ParseUser::currentUser(); }));
    // Let any second announcement or late subscription show itself before counting.
    test::Await<bool> settled;
    AuthService::sharedInstance().signOut(false, [settled] { settled.set(true); });
    ASSERT_TRUE(settled.get());
    EXPECT_EQ(signOuts.count(), 1U);
    EXPECT_TRUE(allUnsubscribed());
    EXPECT_EQ(log.count("Components - subscribed."), 1U) << "only the subscription of the sign-in";
}

// The library's LiveQuery server (the second process) goes down while the JavaScript SDK keeps
// changing the catalogue through the first; once the client is back, every change of the gap is
// announced: created and updated records read again, deleted ones by their id.
TEST_F(LiveChangesTest, ChangesMadeWhileTheServerWasDownAreAnnouncedAfterTheReconnect) {
    ASSERT_EQ(test::runCommand({"bash", "scripts/backend.sh", "start-second"}).exitCode, 0);
    useLiveQueryServer(true);
    test::LogCapture log;
    const auto kept = save("Component", inCatalog({{"name", "Kept"}}));
    const auto edited = save("Component", inCatalog({{"name", "Edited"}}));
    const std::string removedThumbnail = "thumbs/" + uniqueName("removed") + ".png";
    const auto removed = save("Component", inCatalog({{"name", "Removed"}, {"thumbnailFilePath", removedThumbnail}}));
    ASSERT_TRUE(DownloadingService::sharedInstance().addToLocalCache(removedThumbnail, FileData{'t'}));
    signInAndWaitForSubscriptions(log);
    // The baseline is read once the subscription stands; a change now proves it is in place.
    const auto marker = save("Component", inCatalog({{"name", "Marker"}}));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentCreatedNotification, marker));

    ASSERT_EQ(test::runCommand({"bash", "scripts/backend.sh", "stop-second"}).exitCode, 0);
    ASSERT_TRUE(test::eventually([&] { return !client_->isConnected(); }));
    update("Component", edited, {{"name", "Edited meanwhile"}});
    remove("Component", removed);
    const auto added = save("Component", inCatalog({{"name", "Added meanwhile"}}));
    const auto drafted = save("Component", inCatalog({{"name", "Draft meanwhile"}, {"inDraftBy", "designer"}}));
    ASSERT_EQ(test::runCommand({"bash", "scripts/backend.sh", "start-second"}).exitCode, 0);

    ASSERT_TRUE(waitForPost(VantrelSDK::componentUpdatedNotification, edited));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentDeletedNotification, removed));
    ASSERT_TRUE(waitForPost(VantrelSDK::componentCreatedNotification, added));
    EXPECT_EQ(postOf(VantrelSDK::componentUpdatedNotification, edited).object->value("name").asString().value_or(""),
              "Edited meanwhile");
    EXPECT_FALSE(DownloadingService::sharedInstance().isExistsInLocalCache(removedThumbnail));
    EXPECT_EQ(postsOf(VantrelSDK::componentUpdatedNotification, kept), 0U);
    EXPECT_EQ(postsOf(VantrelSDK::componentCreatedNotification, drafted), 0U);
    EXPECT_EQ(log.count("Components - catching up after reconnect: 2 created, 1 updated, 1 deleted."), 1U);

    // And live events flow again.
    update("Component", kept, {{"name", "Kept 2"}});
    ASSERT_TRUE(waitForPost(VantrelSDK::componentUpdatedNotification, kept));
    test::runCommand({"bash", "scripts/backend.sh", "stop-second"});
}

}  // namespace
}  // namespace vantrel
