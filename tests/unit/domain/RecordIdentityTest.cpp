// Identity of records (equality and hashing by object id), the class registry that makes the
// backend's objects typed records, and the catalogue-scope members shared by catalogue records.

#include "RecordTestSupport.hpp"

#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/RoleEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"

#include <gtest/gtest.h>

#include <unordered_set>

using nlohmann::json;
using namespace vantrel;
using test::pointerTo;
using test::recordFromServer;

TEST(RecordIdentity, RecordsWithTheSameIdAreEqualAndHashAlike) {
    const auto a = recordFromServer<ComponentEntity>({{"name", "A"}}, "c1");
    const auto b = recordFromServer<ComponentEntity>({{"name", "B"}}, "c1");
    const auto other = recordFromServer<ComponentEntity>({}, "c2");
    ASSERT_NE(a.get(), b.get());
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_TRUE(b->isEqual(*a));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*other));

    std::unordered_set<std::shared_ptr<ComponentEntity>, RecordHash, RecordEqual> set{a, b, other};
    EXPECT_EQ(set.size(), 2u);
    // A bare pointer stub of the same record finds it too.
    EXPECT_TRUE(RecordEqual()(ParseObject::createWithoutData("Component", "c1"), a));
}

TEST(RecordIdentity, UnsavedRecordsAreEqualOnlyToThemselves) {
    const auto a = std::make_shared<ComponentEntity>();
    const auto b = std::make_shared<ComponentEntity>();
    EXPECT_TRUE(a->isEqual(*a));
    EXPECT_FALSE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), a->hash());

    const auto saved = recordFromServer<ComponentEntity>({}, "c1");
    EXPECT_FALSE(saved->isEqual(*a));
    EXPECT_FALSE(a->isEqual(*saved));

    std::unordered_set<std::shared_ptr<ComponentEntity>, RecordHash, RecordEqual> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
}

TEST(RecordIdentity, IdAndDatesComeFromTheBackendObject) {
    const auto material = recordFromServer<MaterialEntity>(
        {{"createdAt", "2024-05-01T12:30:00.123Z"}, {"updatedAt", "2024-05-02T08:00:00.000Z"}}, "m1");
    EXPECT_EQ(material->id(), "m1");
    ASSERT_TRUE(material->_createdAt());
    EXPECT_EQ(formatParseDate(*material->_createdAt()), "2024-05-01T12:30:00.123Z");
    EXPECT_EQ(material->_updatedAt(), material->updatedAt());
    const auto fresh = std::make_shared<MaterialEntity>();
    EXPECT_EQ(fresh->id(), std::nullopt);
    EXPECT_EQ(fresh->_createdAt(), std::nullopt);
}

TEST(RecordClasses, BackendObjectsArriveAsTheirRecordClass) {
    registerRecordClasses();
    registerRecordClasses();  // a second call changes nothing
    const auto isA = [](const std::string& className, auto probe) {
        using T = typename decltype(probe)::type;
        return std::dynamic_pointer_cast<T>(ParseObject::create(className)) != nullptr;
    };
    EXPECT_TRUE(isA("Component", std::type_identity<ComponentEntity>()));
    EXPECT_TRUE(isA("Material", std::type_identity<MaterialEntity>()));
    EXPECT_TRUE(isA("Scene", std::type_identity<SceneEntity>()));
    EXPECT_TRUE(isA("MarketingListItem", std::type_identity<AppListItemEntity>()));
    EXPECT_TRUE(isA("AnchorObject", std::type_identity<AnchorObjectEntity>()));
    EXPECT_TRUE(isA("Catalog", std::type_identity<CatalogEntity>()));
    EXPECT_TRUE(isA("Company", std::type_identity<CompanyEntity>()));
    EXPECT_TRUE(isA("ModelMeasuringUnit", std::type_identity<ModelMeasuringUnitEntity>()));
    EXPECT_TRUE(isA("UnsupportedAppVersion", std::type_identity<UnsupportedAppVersionEntity>()));
    EXPECT_TRUE(isA(ParseUser::parseClassName(), std::type_identity<UserEntity>()));
    EXPECT_TRUE(isA(ParseRole::parseClassName(), std::type_identity<RoleEntity>()));
}

TEST(RecordClasses, LinkedRecordsArriveTypedAndLinksOfAnotherClassAreIgnored) {
    const auto component = recordFromServer<ComponentEntity>({{"catalog", pointerTo("Catalog", "cat1")},
                                                              {"parent", pointerTo("Component", "c0")},
                                                              {"scnModelMeasuringUnit", pointerTo("Material", "m1")}});
    ASSERT_TRUE(component->catalog());
    EXPECT_EQ(component->catalog()->id(), "cat1");
    ASSERT_TRUE(component->parent());
    EXPECT_EQ(component->parent()->id(), "c0");
    EXPECT_EQ(component->scnModelMeasuringUnit(), nullptr);

    const auto catalog = recordFromServer<CatalogEntity>(
        {{"company", {{"__type", "Object"}, {"className", "Company"}, {"objectId", "co1"}, {"name", " Acme "}}}});
    ASSERT_TRUE(catalog->company());
    EXPECT_EQ(catalog->company()->name(), "Acme");
    EXPECT_EQ(recordFromServer<CatalogEntity>({})->company(), nullptr);
}

TEST(RecordClasses, RolesKeepTheirNameAndSupportedRolesMatchExactly) {
    const RoleEntity role("ROLE_COMPANY_MANAGER");
    EXPECT_EQ(role.className(), "_Role");
    EXPECT_EQ(role.name(), "ROLE_COMPANY_MANAGER");
    EXPECT_EQ(fromRawValue<RoleEntity::SupportedRole>(*role.name()), RoleEntity::SupportedRole::roleCompanyManager);
    EXPECT_EQ(fromRawValue<RoleEntity::SupportedRole>("role_company_employee"), std::nullopt);
    EXPECT_EQ(rawValue(RoleEntity::SupportedRole::roleCompanyAuthToken), "ROLE_COMPANY_AUTH_TOKEN");
}

TEST(CatalogAware, DraftMeansSomeoneIsNamedInInDraftBy) {
    EXPECT_FALSE(recordFromServer<ComponentEntity>({})->isInDraft());
    EXPECT_FALSE(recordFromServer<ComponentEntity>({{"inDraftBy", nullptr}})->isInDraft());
    const auto blanks = recordFromServer<SceneEntity>({{"inDraftBy", "  \n\t"}});
    EXPECT_FALSE(blanks->isInDraft());
    EXPECT_EQ(blanks->inDraftBy(), "");
    const auto drafted = recordFromServer<MaterialEntity>({{"inDraftBy", " user42 "}});
    EXPECT_TRUE(drafted->isInDraft());
    EXPECT_EQ(drafted->inDraftBy(), "user42");
    EXPECT_FALSE(recordFromServer<MaterialEntity>({{"inDraftBy", 42}})->isInDraft());
}

TEST(CatalogAware, RecordsWithoutFilesHaveNoCachedFileKeys) {
    const auto material =
        recordFromServer<MaterialEntity>({{"scnProperties", {{"diffuse", {{"textureFilePath", "t"}}}}}});
    EXPECT_TRUE(material->cachedFileKeys().empty());
    EXPECT_TRUE(recordFromServer<SceneEntity>({})->cachedFileKeys().empty());
}

TEST(UserRecord, TypedAccountValues) {
    registerRecordClasses();
    auto user =
        std::dynamic_pointer_cast<UserEntity>(ParseObject::fromJSON({{"className", "_User"},
                                                                     {"objectId", "u1"},
                                                                     {"fullName", " Ann Lee "},
                                                                     {"emailVerified", true},
                                                                     {"company", pointerTo("Company", "co1")}}));
    ASSERT_TRUE(user);
    EXPECT_EQ(user->fullName(), "Ann Lee");
    EXPECT_TRUE(user->emailVerified());
    ASSERT_TRUE(user->company());
    EXPECT_EQ(user->company()->id(), "co1");

    user->set("company", ParseValue(ParseObject::createWithoutData("Catalog", "cat1")));
    user->set("emailVerified", "yes");
    EXPECT_EQ(user->company(), nullptr);
    EXPECT_FALSE(user->emailVerified());
}
