// What every data service shares: its name, one instance per process, saving and deleting.

#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/ModelMeasuringUnitService.hpp"
#include "vantrel/services/SceneService.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace vantrel {
namespace {

using test::Await;
using Saved = std::pair<std::shared_ptr<ComponentEntity>, OptionalError>;

TEST(DaoAwareServiceTest, EachServiceIsNamedAfterItsClassAndExistsOnce) {
    EXPECT_EQ(UnsupportedAppVersionService::typeName(), "UnsupportedAppVersionService");
    EXPECT_EQ(ModelMeasuringUnitService::typeName(), "ModelMeasuringUnitService");
    EXPECT_EQ(ComponentService::sharedInstance().typeName(), "ComponentService");

    std::vector<std::thread> threads;
    std::mutex mutex;
    std::set<const void*> seen;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            const void* instances[] = {&SceneService::sharedInstance(), &AnchorObjectService::sharedInstance(),
                                       &AppListItemService::sharedInstance()};
            std::lock_guard lock(mutex);
            seen.insert(std::begin(instances), std::end(instances));
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(seen.size(), 3u);
}

class SaveAndDeleteTest : public testing::Test {
protected:
    void SetUp() override { registerRecordClasses(); }

    Saved run(bool save, const std::shared_ptr<ComponentEntity>& component) {
        Await<Saved> done;
        auto block = [done](auto record, auto error) { done.set({record, error}); };
        auto& service = ComponentService::sharedInstance();
        if (save)
            service.saveOrUpdateEntity<ComponentEntity>(component, block);
        else
            service.deleteEntity<ComponentEntity>(component, block);
        return done.get().value_or(Saved{});
    }

    test::ScopedSdkSettings settings_;
    test::ServicesFakeBackend backend_;
    std::shared_ptr<ComponentEntity> component_ = std::make_shared<ComponentEntity>();
};

TEST_F(SaveAndDeleteTest, FailuresComeBackWithTheRecordAndSessionErrorsSignOut) {
    test::LogCapture log;
    backend_.setRoute([](const test::FakeParseRequest&) -> std::optional<std::string> {
        return test::ServicesFakeBackend::error(400, 142, "name is required");
    });
    auto [saved, saveError] = run(true, component_);
    EXPECT_EQ(saved, component_);
    EXPECT_EQ(saveError->code, 142);
    EXPECT_EQ(log.count("saveOrUpdateEntity: [142] name is required"), 1u);

    backend_.signIn({{"objectId", "u1"}, {"username", "ann"}, {"sessionToken", "r:1"}});
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    backend_.setRoute([](const test::FakeParseRequest&) -> std::optional<std::string> {
        return test::ServicesFakeBackend::error(400, 209, "Invalid session token");
    });
    component_->setObjectId("c1");
    auto [deleted, deleteError] = run(false, component_);
    EXPECT_EQ(deleted, component_);
    EXPECT_EQ(deleteError->code, 209);
    EXPECT_EQ(log.count("deleteEntity: [209] Invalid session token"), 1u);
    EXPECT_TRUE(signOuts.waitFor(1));
}

TEST_F(SaveAndDeleteTest, NoRecordGivesTheTextOfTheOperation) {
    EXPECT_EQ(run(true, nullptr).second->userInfo.value("messageKey", ""),
              "daoAwareService_error_unable_to_save_object");
    EXPECT_EQ(run(false, nullptr).second->userInfo.value("messageKey", ""),
              "daoAwareService_error_unable_to_delete_object");
    EXPECT_TRUE(backend_.requests().empty());
}

}  // namespace
}  // namespace vantrel
