#include "support/ServicesBackendFixture.hpp"

#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AuthService.hpp"

#include <unistd.h>

namespace vantrel::test {

void ServicesBackendFixture::SetUp() {
    BackendFixture::SetUp();
    if (HasFatalFailure()) return;
    // Other suites may have put their own classes in the registry.
    registerRecordClasses();
    // A library version no other run lists as unsupported.
    versionName_ = "it-" + std::to_string(::getpid()) + ".0";
    settings_.setVersionName(versionName_);
    LiveQueryClient::setShared(nullptr);
}

void ServicesBackendFixture::TearDown() {
    // Sign-outs the test started finish before the next test signs in.
    Await<bool> done;
    AuthService::sharedInstance().signOut(false, [done] { done.set(true); });
    (void)done.get();
    BackendFixture::TearDown();
}

std::pair<std::shared_ptr<UserEntity>, OptionalError> ServicesBackendFixture::signIn(
    const std::optional<std::string>& email, const std::optional<std::string>& password,
    const std::optional<std::string>& appName, const std::optional<std::string>& appVersion) {
    using Result = std::pair<std::shared_ptr<UserEntity>, OptionalError>;
    Await<Result> done;
    AuthService::sharedInstance().signIn(appName, appVersion, email, password, [done](auto user, auto error) {
        done.set({user, error});
    });
    auto result = done.get();
    EXPECT_TRUE(result) << "sign-in never answered";
    return result.value_or(Result{});
}

void ServicesBackendFixture::signInAs(const nlohmann::json& user) {
    const LogCapture log;
    auto [signedIn, error] = signIn(user.value("username", ""), user.value("password", ""));
    ASSERT_FALSE(error) << "sign-in refused: " << error->description();
    ASSERT_TRUE(signedIn);
    // Sign-in goes on to start the live subscriptions in the background, reading the company and
    // its catalogue; let that finish so that it does not mix with what the test counts.
    (void)eventually([&] { return log.count("AppListItems - ") + log.count("Catalog - unable to subscribe") > 0; },
                     std::chrono::seconds(10));
}

void ServicesBackendFixture::revokeSessionOnServer() {
    auto user = ParseUser::currentUser();
    ASSERT_TRUE(user && user->sessionToken());
    const auto result = runCommand(
        {"curl", "-sS", "--cacert", env().caFile, "-X", "POST", "-H", "X-Parse-Application-Id: " + env().applicationId,
         "-H", "X-Parse-Client-Key: " + env().clientKey, "-H", "X-Parse-Session-Token: " + *user->sessionToken(), "-H",
         "Content-Type: application/json", "-d", "{}", "https://" + env().server + "/logout"});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    ASSERT_EQ(result.out.find("error"), std::string::npos) << result.out;
}

void ServicesBackendFixture::installLiveQueryClient() {
    LiveQueryClient::setShared(
        std::make_shared<LiveQueryClient>(liveQueryUrl(), env().applicationId, env().clientKey, env().caFile));
}

std::string keyOf(const OptionalError& error) {
    if (!error) return "<none>";
    return error->userInfo.value("messageKey", "");
}

}  // namespace vantrel::test
