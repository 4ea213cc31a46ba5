// Users, sessions and cloud functions against the reference backend, and a transport failure
// that only a real TLS server can show.

#include "support/BackendAwait.hpp"
#include "support/BackendFixture.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

class SessionTestUser : public ParseUser {};

class BackendUserTest : public test::BackendFixture {
protected:
    void SetUp() override {
        BackendFixture::SetUp();
        if (HasFatalFailure()) return;
        ParseObject::registerSubclass<SessionTestUser>();
        data_ = seedCompany(json::array({{{"alias", "component"},
                                          {"className", "Component"},
                                          {"fields", {{"catalog", {{"$ref", "catalog"}}}, {"name", "Thing"}}}}}));
        ASSERT_TRUE(data_.contains("manager"));
    }
    void TearDown() override {
        ParseObject::unregisterSubclass(ParseUser::parseClassName());
        BackendFixture::TearDown();
    }

    std::string username() const { return data_["manager"]["username"]; }
    std::string password() const { return data_["manager"]["password"]; }

    ParseQuery catalogs() const {
        ParseQuery query("Catalog");
        query.whereEqualTo("objectId", data_["catalog"].get<std::string>());
        return query;
    }

    json data_;
};

TEST_F(BackendUserTest, LoginMakesTheRegisteredUserCurrent) {
    logIn(username(), password());
    auto user = ParseUser::currentUser();
    ASSERT_NE(std::dynamic_pointer_cast<SessionTestUser>(user), nullptr);
    EXPECT_TRUE(user->isAuthenticated());
    EXPECT_EQ(user->username(), username());
    EXPECT_EQ(user->objectId(), data_["manager"]["objectId"]);
    ASSERT_TRUE(user->sessionToken());
    EXPECT_EQ(user->sessionToken()->rfind("r:", 0), 0u);
    EXPECT_EQ(user->value("company").asObject()->objectId(), data_["company"]);
    EXPECT_EQ(find(catalogs()).first.size(), 1u);  // the session opens the company's catalog
}

TEST_F(BackendUserTest, WrongPasswordIs101AndNobodyIsSignedIn) {
    test::Await<std::pair<std::shared_ptr<ParseUser>, OptionalError>> done;
    ParseUser::logInWithUsernameInBackground(username(), "wrong-password", [done](auto user, auto error) {
        done.set({user, error});
    });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->first, nullptr);
    ASSERT_TRUE(result->second);
    EXPECT_EQ(result->second->code, ParseErrorCode::objectNotFound);
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(BackendUserTest, SessionSurvivesARestartOfTheHost) {
    logIn(username(), password());
    const auto token = ParseUser::currentUser()->sessionToken();
    reinitialize();  // a new process would start exactly like this
    auto restored = ParseUser::currentUser();
    ASSERT_NE(restored, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<SessionTestUser>(restored), nullptr);
    EXPECT_EQ(restored->sessionToken(), token);
    EXPECT_TRUE(restored->isAuthenticated());
    const auto [objects, error] = find(catalogs());
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(objects.size(), 1u);
}

TEST_F(BackendUserTest, LogOutEndsTheSessionOnTheServer) {
    logIn(username(), password());
    const auto token = *ParseUser::currentUser()->sessionToken();
    ParseUser::logOut();
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    // Revoking runs in the background; a peer request with the old token shows when it landed.
    bool revoked = false;
    for (int attempt = 0; attempt < 20 && !revoked; ++attempt) {
        OptionalError error;
        auto user = ParseUser::become(token, &error);
        if (!user && error && error->code == ParseErrorCode::invalidSessionToken) revoked = true;
        if (user) ParseUser::logOut();
    }
    EXPECT_TRUE(revoked);
    reinitialize();
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
}

TEST_F(BackendUserTest, BecomeAdoptsAnExistingSession) {
    OptionalError error;
    auto user = ParseUser::become(data_["manager"]["sessionToken"], &error);
    ASSERT_NE(user, nullptr) << error->description();
    EXPECT_EQ(ParseUser::currentUser(), user);
    EXPECT_EQ(user->objectId(), data_["manager"]["objectId"]);
    EXPECT_NE(std::dynamic_pointer_cast<SessionTestUser>(user), nullptr);
}

TEST_F(BackendUserTest, CloudFunctionsTakeParametersAndKeepErrorCodes) {
    logIn(username(), password());
    const std::string componentId = data_["component"];
    auto [result, error] = call("getComponentThumbnailHome", {{"component_id", componentId}});
    ASSERT_FALSE(error) << error->description();
    const std::string path = result.value("path", "");
    EXPECT_NE(path.find("/components/" + componentId + "/thumbnails"), std::string::npos) << result.dump();

    std::tie(result, error) = call("getComponentThumbnailHome", {{"component_id", "noSuchComponent"}});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::objectNotFound);

    std::tie(result, error) = call("isFileExists", {{"file_key", uniqueName("nothing") + ".zip"}});
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(result, false);

    std::tie(result, error) = call("registerCompanyUser", {{"company_id", data_["company"]},
                                                           {"full_name", "X"},
                                                           {"email", uniqueName("x") + "@test.invalid"},
                                                           {"password", "password-1"},
                                                           {"role", "ROLE_COMPANY_EMPLOYEE"}});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::operationForbidden);  // not the demonstration company

    std::tie(result, error) = call("noSuchFunction", json::object());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::scriptFailed);
}

TEST_F(BackendUserTest, WithoutTheBackendsAuthorityTlsVerificationFails) {
    auto configuration = this->configuration();
    configuration.trustedCertificatesFile.clear();
    Parse::initialize(configuration);
    const auto [objects, error] = find(catalogs());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
    EXPECT_EQ(error->userInfo["transport"], "tls");
}

}  // namespace
}  // namespace vantrel
