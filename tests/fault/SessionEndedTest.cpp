// A session that the server ends while the client still holds it: expired (its expiry date passed)
// or deleted by an administrator with the master key. The next read reports the invalid-session
// error (code 209), signs the user out with the sign-out notification, and does not hang.

#include "FaultFixture.hpp"

#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

class SessionEndedTest : public test::FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        seedAndSignIn();
        if (HasFatalFailure()) return;
        auto user = ParseUser::currentUser();
        ASSERT_TRUE(user && user->sessionToken());
        token_ = *user->sessionToken();
    }

    // The server caches sessions in Redis for a while; the suite's Redis is its own to empty.
    void forgetServerCache() {
        const auto result = test::runCommand({"sh", "-c", "redis-cli -p \"$VANTREL_REDIS_PORT\" flushall"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    // A read through the services, its error; checks that the user is signed out, with notice.
    void expectTheNextReadEndsTheSession() {
        test::NotificationCounter signOuts(VantrelSDK::signOutNotification);
        auto catalog = std::make_shared<CatalogEntity>();
        catalog->setObjectId(data_["catalog"].get<std::string>());
        using Result = std::pair<std::vector<std::shared_ptr<MaterialEntity>>, OptionalError>;
        const auto result = await<Result>([&](auto done) {
            MaterialService::sharedInstance().obtainAllMaterialsByCatalog(
                catalog, std::nullopt, std::nullopt, [done](auto materials, auto error) { done({materials, error}); });
        });
        ASSERT_TRUE(result) << "the read never answered";
        EXPECT_TRUE(result->first.empty());
        ASSERT_TRUE(result->second) << "a read with an ended session is an error";
        EXPECT_EQ(result->second->code, ParseErrorCode::invalidSessionToken) << result->second->description();
        ASSERT_TRUE(signOuts.waitFor(1)) << "the session error signs the user out with notice";
        EXPECT_TRUE(signOuts.allWithoutObject());
        EXPECT_EQ(ParseUser::currentUser(), nullptr);
    }

    std::string token_;
};

TEST_F(SessionEndedTest, AnExpiredSessionEndsInTheSessionErrorAndASignOut) {
    ASSERT_EQ(sql("UPDATE \"_Session\" SET \"expiresAt\" = now() - interval '1 hour' WHERE \"sessionToken\" = '" +
                  token_ + "' RETURNING 1"),
              "1");
    forgetServerCache();
    expectTheNextReadEndsTheSession();
}

TEST_F(SessionEndedTest, ASessionDeletedWithTheMasterKeyEndsInTheSessionErrorAndASignOut) {
    const auto id = sql("SELECT \"objectId\" FROM \"_Session\" WHERE \"sessionToken\" = '" + token_ + "'");
    ASSERT_FALSE(id.empty());
    const auto deleted = test::runCommand(
        {"curl", "-sS", "--max-time", "10", "--cacert", env().caFile, "-X", "DELETE", "-H",
         "X-Parse-Application-Id: " + env().applicationId, "-H", "X-Parse-Master-Key: " + env().masterKey,
         "https://" + env().server + "/sessions/" + id});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.err;
    ASSERT_EQ(deleted.out.find("error"), std::string::npos) << deleted.out;
    expectTheNextReadEndsTheSession();
}

}  // namespace
}  // namespace vantrel
