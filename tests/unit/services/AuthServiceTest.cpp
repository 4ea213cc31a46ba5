// Authentication paths the reference backend cannot take on demand, against a scripted server:
// checks that fail before or without the backend, role answers, sign-out, sign-up and reset.

#include "services/UserVerification.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/ComponentService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::FakeParseRequest;
using test::ServicesFakeBackend;
using TextResult = std::pair<std::optional<std::string>, OptionalError>;

std::string keyOf(const OptionalError& error) { return error ? error->userInfo.value("messageKey", "") : "<none>"; }

class AuthServiceTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        LiveQueryClient::setShared(nullptr);  // the gate's subscription stays out of these tests
        settings_.setVersionName("7.0.0-unit");
    }

    void signInScripted() {
        backend_.signIn({{"objectId", "u1"},
                         {"username", "ann"},
                         {"sessionToken", "r:1"},
                         {"emailVerified", true},
                         {"company", {{"__type", "Pointer"}, {"className", "Company"}, {"objectId", "co1"}}}});
    }

    void answer(const std::string& path, std::string response) {
        backend_.setRoute([path, response](const FakeParseRequest& request) -> std::optional<std::string> {
            if (request.path == path) return response;
            return std::nullopt;
        });
    }

    test::ScopedSdkSettings settings_;
    ServicesFakeBackend backend_;
};

TEST_F(AuthServiceTest, WithoutALibraryVersionSignInIsRefusedBeforeAnyRequest) {
    settings_.setVersionName(std::string());
    test::NotificationCounter unsupported(VantrelSDK::unsupportedAppVersionNotification);
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    Await<OptionalError> done;
    AuthService::sharedInstance().signIn(std::nullopt, std::nullopt, "ann@acme.test", "pw",
                                         [done](auto, auto error) { done.set(error); });
    EXPECT_EQ(keyOf(*done.get()), "error_unsupported_app_version");
    EXPECT_EQ(unsupported.count(), 1u) << "posted before the block";
    EXPECT_EQ(signOuts.count(), 0u);
    EXPECT_TRUE(backend_.requests().empty());
}

TEST_F(AuthServiceTest, AUserThatIsNotSignedInFailsVerificationLoudly) {
    auto stranger = std::make_shared<UserEntity>();
    stranger->setObjectId("u2");
    stranger->set("emailVerified", true);
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    test::LogCapture log;
    Await<std::shared_ptr<UserEntity>> verified;
    AuthService::sharedInstance().verifyUserForPermissions(stranger, std::nullopt,
                                                           [verified](auto user) { verified.set(user); });
    EXPECT_EQ(verified.get(), nullptr);
    EXPECT_EQ(signOuts.count(), 1u) << "announced before the block ran";
    EXPECT_EQ(log.count("ERROR on verifyUserForPermissions: " +
                        Strings::localized("authService_error_unauthorized_bad_authentication")),
              1u);

    // No user at all is no failure: nothing logged, nobody signed out.
    Await<std::shared_ptr<UserEntity>> none;
    AuthService::sharedInstance().verifyUserForPermissions(nullptr, std::nullopt,
                                                           [none](auto user) { none.set(user); });
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_EQ(log.count("ERROR on verifyUserForPermissions"), 1u);
}

TEST_F(AuthServiceTest, CompanyCheckKeysForAUserWithoutCompany) {
    auto user = std::make_shared<UserEntity>();
    auto company = std::make_shared<CompanyEntity>();
    const auto check = [&](const std::shared_ptr<CompanyEntity>& fetched, const OptionalError& fetchError) {
        Await<OptionalError> done;
        services_detail::checkCompany(user, fetched, fetchError, done.setter());
        return done.get().value_or(Error("Test", 0, "no answer"));
    };
    EXPECT_EQ(keyOf(check(company, std::nullopt)), "authService_error_unauthorized_user_company_nil");
    EXPECT_EQ(keyOf(check(nullptr, std::nullopt)), "authService_error_unauthorized_cannot_find_company");
    EXPECT_EQ(check(company, makeParseError(100, "down"))->code, 100);
    settings_.setVariant(SdkVariant::B2C);
    EXPECT_EQ(keyOf(check(company, std::nullopt)),
              "authService_error_unauthorized_b2c_company_authorization_not_supported");
    EXPECT_TRUE(backend_.requests().empty()) << "no role question without a company";
}

TEST_F(AuthServiceTest, RoleAnswers) {
    signInScripted();
    test::LogCapture log;
    answer("classes/_Role", ServicesFakeBackend::error(404, 101));
    Await<std::pair<bool, OptionalError>> notFound;
    AuthService::sharedInstance().isUserInRole(ParseUser::currentUser(), RoleEntity::SupportedRole::roleCompanyManager,
                                               [notFound](bool member, auto error) {
                                                   notFound.set({member, error});
                                               });
    EXPECT_EQ(notFound.get(), (std::pair<bool, OptionalError>{false, std::nullopt}));
    EXPECT_EQ(log.count("Unable to detect if user in role"), 0u) << "not found is an answer, not an error";
    const auto asked = backend_.requests("classes/_Role");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].body["where"],
              (json{{"name", "ROLE_COMPANY_MANAGER"},
                    {"users", {{"__type", "Pointer"}, {"className", "_User"}, {"objectId", "u1"}}}}));

    Await<std::pair<bool, OptionalError>> unsaved;
    AuthService::sharedInstance().isUserInRole(std::make_shared<UserEntity>(),
                                               RoleEntity::SupportedRole::roleCompanyEmployee,
                                               [unsaved](bool member, auto error) {
                                                   unsaved.set({member, error});
                                               });
    EXPECT_EQ(keyOf(unsaved.get()->second), "common_internal_error");
    EXPECT_EQ(log.count("Unable to create predicate query to check if user in role"), 1u);
}

TEST_F(AuthServiceTest, SignOutForgetsTheServicesTimesAndAnnouncesOnlyWhenAsked) {
    signInScripted();
    for (const char* name : {"AuthService", "ComponentService", "AnchorObjectService"})
        VantrelSDK::setLastDbAccessTime(name, 1234);
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    Await<bool> quiet;
    AuthService::sharedInstance().signOut(false, [quiet] { quiet.set(true); });
    ASSERT_TRUE(quiet.get());
    EXPECT_EQ(signOuts.count(), 0u);
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(VantrelSDK::lastDbAccessTime("AuthService"), 0);
    EXPECT_EQ(VantrelSDK::lastDbAccessTime("ComponentService"), 0);
    EXPECT_EQ(VantrelSDK::lastDbAccessTime("AnchorObjectService"), 1234) << "anchor objects keep their time";

    Await<bool> announced;
    AuthService::sharedInstance().signOut(true, [announced] { announced.set(true); });
    ASSERT_TRUE(announced.get());
    EXPECT_EQ(signOuts.count(), 1u);
    EXPECT_TRUE(signOuts.allWithoutObject());
}

TEST_F(AuthServiceTest, PasswordResetChecksBeforeAskingTheBackend) {
    const auto reset = [](const std::string& email) {
        Await<OptionalError> done;
        AuthService::sharedInstance().resetPassword(email, done.setter());
        return *done.get();
    };
    EXPECT_EQ(keyOf(reset("  \n")), "authService_error_reset_password_invalid_email");
    EXPECT_FALSE(reset(" ann@acme.test"));
    settings_.setVariant(SdkVariant::B2C);
    EXPECT_EQ(keyOf(reset("ann@acme.test")), "authService_error_reset_password_b2c_not_support");
    const auto calls = backend_.requests("functions/");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, "functions/requestPasswordReset");
    EXPECT_EQ(calls[0].body, (json{{"username", " ann@acme.test"}, {"schema", ""}}));
}

TEST_F(AuthServiceTest, SignUpRegistersWithTheDemonstrationCompanyAndLeavesNobodySignedIn) {
    const auto signUp = [] {
        Await<TextResult> done;
        AuthService::sharedInstance().signUpAsDemoCompanyEmployee("new@demo.test", "secret-1", "New Person",
                                                                  [done](auto result, auto error) {
                                                                      done.set({result, error});
                                                                  });
        return *done.get();
    };
    EXPECT_EQ(keyOf(signUp().second), "authService_error_unauthorized_demo_company_not_exist");

    signInScripted();
    backend_.setRoute([](const FakeParseRequest& request) -> std::optional<std::string> {
        if (request.path == "classes/Company")
            return ServicesFakeBackend::results(json::array({{{"objectId", "demo1"}}}));
        if (request.path == "functions/registerCompanyUser") return ServicesFakeBackend::functionResult("newUser1");
        return std::nullopt;
    });
    EXPECT_EQ(signUp(), (TextResult{"newUser1", std::nullopt}));
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(backend_.requests("classes/Company").back().body["where"]["name"], AuthService::demoCompanyName);
    EXPECT_EQ(backend_.requests("functions/registerCompanyUser").at(0).body, (json{{"company_id", "demo1"},
                                                                                   {"full_name", "New Person"},
                                                                                   {"email", "new@demo.test"},
                                                                                   {"password", "secret-1"},
                                                                                   {"role", "ROLE_COMPANY_EMPLOYEE"}}));

    settings_.setVariant(SdkVariant::B2C);
    EXPECT_EQ(keyOf(signUp().second), "authService_error_unauthorized_b2c_not_support_signup");
    EXPECT_EQ(backend_.requests("functions/").size(), 1u);
}

TEST_F(AuthServiceTest, ThumbnailHomeNeedsAPathInTheAnswer) {
    auto component = std::make_shared<ComponentEntity>();
    component->setObjectId("c1");
    const auto ask = [&](const json& result) {
        answer("functions/getComponentThumbnailHome", ServicesFakeBackend::functionResult(result));
        Await<TextResult> done;
        ComponentService::sharedInstance().getComponentThumbnailHome(component, [done](auto path, auto error) {
            done.set({path, error});
        });
        return *done.get();
    };
    EXPECT_EQ(ask({{"path", "companies/a/thumbnails"}}), (TextResult{"companies/a/thumbnails", std::nullopt}));
    EXPECT_EQ(backend_.requests("functions/").back().body, (json{{"component_id", "c1"}}));
    for (const json& result : {json{{"folder", "x"}}, json("companies/a"), json{{"path", 3}}, json()}) {
        auto [path, error] = ask(result);
        EXPECT_FALSE(path) << result.dump();
        EXPECT_EQ(error.value_or(Error()).message, Strings::localized("common_internal_error")) << result.dump();
    }
}

}  // namespace
}  // namespace vantrel
