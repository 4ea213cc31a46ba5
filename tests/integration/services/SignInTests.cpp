// Sign-in against the reference backend in both variants: every refusal, the role questions, the
// version gate and its live subscription.

#include "support/ServicesBackendFixture.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::keyOf;

json user(const std::string& alias, const std::string& username, const std::string& password, json fields, json roles,
          bool verified = true, std::optional<std::string> email = std::nullopt) {
    json record = {{"alias", alias},
                   {"className", "_User"},
                   {"username", username},
                   {"password", password},
                   {"emailVerified", verified},
                   {"roles", std::move(roles)},
                   {"fields", std::move(fields)}};
    if (email) record["email"] = *email;
    return record;
}

class SignInTest : public test::ServicesBackendFixture {
protected:
    void SetUp() override {
        ServicesBackendFixture::SetUp();
        if (HasFatalFailure()) return;
        if (!data().is_object()) {
            const std::string tag = uniqueName("signin");
            tokens() = {{"ok", "tok-ok-" + tag},
                        {"unverified", "tok-unverified-" + tag},
                        {"nocompany", "tok-nocompany-" + tag},
                        {"norole", "tok-norole-" + tag},
                        {"hidden", "tok-hidden-" + tag},
                        {"mismatch", "tok-mismatch-" + tag + "@test.invalid"}};
            const json company = {{"$ref", "company"}};
            const json hidden = {{"$ref", "hidden"}};
            const json none = json::object();
            const json employee = {"ROLE_COMPANY_EMPLOYEE"};
            const json token = {"ROLE_COMPANY_AUTH_TOKEN"};
            const auto t = [&](const char* name) { return tokens()[name].get<std::string>(); };
            data() = seedCompany(json::array({
                // A company the users point at but may not read.
                {{"alias", "hidden"},
                 {"className", "Company"},
                 {"ACL", json::object()},
                 {"fields", {{"name", "Hidden " + tag}}}},
                user("unverified", "unverified-" + tag + "@test.invalid", "pass-123", {{"company", company}}, employee,
                     false),
                user("nocompany", "nocompany-" + tag + "@test.invalid", "pass-123", none, employee),
                user("norole", "norole-" + tag + "@test.invalid", "pass-123", {{"company", company}}, json::array()),
                user("lost", "lost-" + tag + "@test.invalid", "pass-123", {{"company", hidden}}, employee),
                user("tokOk", t("ok"), t("ok"), {{"company", company}}, token),
                user("tokUnverified", t("unverified"), t("unverified"), {{"company", company}}, token, false),
                user("tokNoCompany", t("nocompany"), t("nocompany"), none, token),
                user("tokNoRole", t("norole"), t("norole"), {{"company", company}}, json::array()),
                user("tokHidden", t("hidden"), t("hidden"), {{"company", hidden}}, token),
                // Signs in with the token (its e-mail address) but is named otherwise.
                user("tokMismatch", "named-" + tag, t("mismatch"), {{"company", company}}, token, true, t("mismatch")),
            }));
        }
        ASSERT_TRUE(data().contains("company")) << data().dump();
    }

    static json& data() {
        static json seeded;
        return seeded;
    }
    static json& tokens() {
        static json values;
        return values;
    }

    // Signs in and checks that a refusal left nobody signed in and announced no sign-out.
    void expectRefusal(const std::optional<std::string>& email, const std::optional<std::string>& password,
                       const std::string& key) {
        test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
        auto [signedIn, error] = signIn(email, password);
        EXPECT_EQ(signedIn, nullptr);
        EXPECT_EQ(keyOf(error), key);
        EXPECT_EQ(ParseUser::currentUser(), nullptr) << key;
        EXPECT_EQ(signOuts.count(), 0u) << key;
    }

    void expectB2CRefusal(const std::string& token, const std::string& key) {
        settings_.setVariant(SdkVariant::B2C);
        settings_.setCompanyAuthToken(token);
        expectRefusal("ignored@test.invalid", "ignored", key);
    }

    std::string username(const char* alias) { return data()[alias]["username"]; }

    // A library version of this test alone: records listing it stay on the server.
    void useFreshVersion() {
        versionName_ = uniqueName("it-version");
        settings_.setVersionName(versionName_);
    }
};

TEST_F(SignInTest, B2BRefusals) {
    expectRefusal(username("unverified"), "pass-123", "authService_error_unauthorized_b2b_no_confirmation");
    expectRefusal(username("nocompany"), "pass-123", "authService_error_unauthorized_b2b_no_company_id");
    expectRefusal(username("lost"), "pass-123", "authService_error_unauthorized_cannot_find_company");
    expectRefusal(username("norole"), "pass-123", "authService_error_unauthorized_user_not_employee");
}

TEST_F(SignInTest, B2BLoginErrorsComeBackUnchanged) {
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    auto [signedIn, error] = signIn(username("manager"), "wrong-password");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 101);
    EXPECT_EQ(signedIn, nullptr);
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(signOuts.count(), 0u);
}

TEST_F(SignInTest, B2CRefusals) {
    expectB2CRefusal(tokens()["unverified"], "authService_error_unauthorized_b2c_bad_token");
    expectB2CRefusal(tokens()["nocompany"], "authService_error_unauthorized_b2c_company_authorization_not_supported");
    expectB2CRefusal(tokens()["hidden"], "authService_error_unauthorized_cannot_find_company");
    expectB2CRefusal(tokens()["norole"], "authService_error_unauthorized_b2c_auth_token_not_supported");
    expectB2CRefusal(tokens()["mismatch"], "authService_error_unauthorized_b2c_auth_token_invalid");
}

TEST_F(SignInTest, B2CWithoutTokenGetsTheBackendsError) {
    settings_.setVariant(SdkVariant::B2C);
    settings_.setCompanyAuthToken("");
    auto [signedIn, error] = signIn("ignored@test.invalid", "ignored");
    EXPECT_EQ(signedIn, nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(keyOf(error), "") << "the backend's own error, not a library text";
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(SignInTest, TheTokenUserSignsInInB2C) {
    settings_.setVariant(SdkVariant::B2C);
    settings_.setCompanyAuthToken(tokens()["ok"]);
    auto [signedIn, error] = signIn(std::nullopt, std::nullopt);
    ASSERT_FALSE(error) << error->description();
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->objectId(), data()["tokOk"]["objectId"]);

    using Answer = std::optional<bool>;
    Answer isToken = await<bool>([](auto done) { AuthService::sharedInstance().isCurrentUserCompanyAuthToken(done); });
    Answer isManager = await<bool>([](auto done) { AuthService::sharedInstance().isCurrentUserCompanyManager(done); });
    EXPECT_EQ(isToken, true);
    EXPECT_EQ(isManager, false);
}

TEST_F(SignInTest, AManagerPassesWithoutTheEmployeeQuestion) {
    test::RequestRecorder requests;
    signInAs(data()["manager"]);
    // Once for the sign-in, once more when the live subscriptions that follow verify the user.
    EXPECT_EQ(requests.countMentioning("classes/_Role", "ROLE_COMPANY_MANAGER"), 2u);
    EXPECT_EQ(requests.countMentioning("classes/_Role", "ROLE_COMPANY_EMPLOYEE"), 0u);
}

TEST_F(SignInTest, AnEmployeeIsAskedForBothRoles) {
    test::RequestRecorder requests;
    signInAs(data()["employee"]);
    // Sign-in and then the live subscriptions' verification each ask both questions.
    EXPECT_EQ(requests.countMentioning("classes/_Role", "ROLE_COMPANY_MANAGER"), 2u);
    EXPECT_EQ(requests.countMentioning("classes/_Role", "ROLE_COMPANY_EMPLOYEE"), 2u);

    auto verified =
        await<std::shared_ptr<UserEntity>>([](auto done) { AuthService::sharedInstance().currentUser(done); });
    ASSERT_TRUE(verified && *verified);
    EXPECT_EQ((*verified)->objectId(), data()["employee"]["objectId"]);
    EXPECT_EQ(await<bool>([](auto done) { AuthService::sharedInstance().isCurrentUserCompanyEmployee(done); }), true);
    EXPECT_EQ(await<bool>([](auto done) { AuthService::sharedInstance().isCurrentUserCompanyManager(done); }), false);
}

TEST_F(SignInTest, AListedLibraryVersionRefusesSignInAndAnnouncesItOnce) {
    useFreshVersion();
    seed({{"description", "unsupported sdk"},
          {"records", json::array({{{"alias", "v"},
                                    {"className", "UnsupportedAppVersion"},
                                    {"fields", {{"app", "IOS_SDK"}, {"version", versionName_}}}}})}});
    test::NotificationCounter unsupported(VantrelSDK::unsupportedAppVersionNotification);
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    test::RequestRecorder requests;
    auto [signedIn, error] = signIn(username("manager"), "manager-pass-1");
    EXPECT_EQ(signedIn, nullptr);
    EXPECT_EQ(keyOf(error), "error_unsupported_app_version");
    EXPECT_EQ(unsupported.count(), 1u);
    EXPECT_TRUE(unsupported.allWithoutObject());
    EXPECT_EQ(signOuts.count(), 0u);
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_TRUE(requests.requests("/login").empty()) << "refused before logging in";
}

// The live subscription: a matching record added later through the JavaScript SDK ends the
// session; one for another version does nothing; a second gate run replaces the subscription.
TEST_F(SignInTest, AVersionListedLaterEndsTheSessionThroughTheLiveSubscription) {
    useFreshVersion();
    installLiveQueryClient();
    signInAs(data()["manager"]);
    auto& service = UnsupportedAppVersionService::sharedInstance();
    ASSERT_TRUE(service.subscriptionQuery());
    EXPECT_EQ(service.subscriptionQuery()->whereJSON(), (json{{"app", "IOS_SDK"}}));

    // Once a later subscription on the same connection is confirmed, so is the gate's.
    Await<bool> probeReady;
    ParseQuery probe("UnsupportedAppVersion");
    probe.whereEqualTo("app", uniqueName("probe"));
    auto probeSubscription = LiveQueryClient::shared()->subscribe(probe);
    probeSubscription->handleSubscribe([probeReady](const ParseQuery&) { probeReady.set(true); });
    ASSERT_TRUE(probeReady.get());

    test::NotificationCounter unsupported(VantrelSDK::unsupportedAppVersionNotification);
    test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
    peer({"--master", "save", "UnsupportedAppVersion",
          json{{"app", "IOS_SDK"}, {"version", versionName_ + "-other"}}.dump()});
    peer({"--master", "save", "UnsupportedAppVersion", json{{"app", "IOS_SDK"}, {"version", versionName_}}.dump()});
    ASSERT_TRUE(unsupported.waitFor(1));
    EXPECT_EQ(unsupported.count(), 1u) << "the other version's record changed nothing";
    EXPECT_TRUE(unsupported.allWithoutObject());
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(signOuts.count(), 0u);
    LiveQueryClient::shared()->unsubscribe(probeSubscription);
}

TEST_F(SignInTest, EachGateRunReplacesTheSubscription) {
    installLiveQueryClient();
    auto& service = UnsupportedAppVersionService::sharedInstance();
    const auto before = LiveQueryClient::shared()->subscriptionCount();
    ASSERT_EQ(await<bool>([this](auto done) {
                  UnsupportedAppVersionService::sharedInstance().checkAppVersions(versionName_, "HostA", "1.0", done);
              }),
              false);
    EXPECT_EQ(service.subscriptionQuery()->whereJSON(), (json{{"app", "HostA"}}));
    // The service itself does not watch for the end of its subscription; the test does.
    Await<bool> firstEnded;
    service.subscription()->handleUnsubscribe([firstEnded](const ParseQuery&) { firstEnded.set(true); });
    ASSERT_EQ(await<bool>([this](auto done) {
                  UnsupportedAppVersionService::sharedInstance().checkAppVersions(versionName_, "HostB", "2.0", done);
              }),
              false);
    EXPECT_EQ(service.subscriptionQuery()->whereJSON(), (json{{"app", "HostB"}}));
    EXPECT_TRUE(firstEnded.get()) << "the first subscription was dropped";
    EXPECT_EQ(LiveQueryClient::shared()->subscriptionCount(), before + 1);
}

}  // namespace
}  // namespace vantrel
