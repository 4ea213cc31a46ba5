#include "core/LogRedaction.hpp"
#include "vantrel/core/NetworkActivity.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using detail::loggableBody;

TEST(LogRedaction, BodiesKeepTheirShapeButNoCredential) {
    struct Case {
        std::string body;
        std::string logged;
    };
    const Case cases[] = {
        {R"({"username":"ann","password":"s3cret"})", R"({"username":"ann","password":"<redacted>"})"},
        {R"({ "sessionToken" : "r:abc", "objectId":"u1"})", R"({ "sessionToken" : "<redacted>", "objectId":"u1"})"},
        {R"({"op":"connect","applicationId":"app","clientKey":"ck","sessionToken":"r:t"})",
         R"({"op":"connect","applicationId":"app","clientKey":"<redacted>","sessionToken":"<redacted>"})"},
        {R"({"authData":{"anonymous":{"id":"x\"}"}},"n":1})", R"({"authData":<redacted>,"n":1})"},
        {R"({"result":{"signedUrl":"https://h/files/a.zip?expires=1&signature=ff"}})",
         R"({"result":{"signedUrl":"https://h/files/a.zip?<redacted>"}})"},
        {R"({"note":"password","password":null})", R"({"note":"password","password":null})"},
        {R"({"escaped \"password\"":"kept"})", R"({"escaped \"password\"":"kept"})"},
        {"plain text, not JSON", "plain text, not JSON"},
    };
    for (const auto& c : cases) EXPECT_EQ(loggableBody(c.body), c.logged) << c.body;
}

TEST(LogRedaction, LongBodiesAreCutAndACutCredentialStillHidden) {
    const std::string body = R"({"a":")" + std::string(100, 'x') + R"(","password":"s3cret-and-more"})";
    const auto cut = body.find("s3cret") + 3;
    const auto logged = loggableBody(body, cut);
    EXPECT_EQ(logged.find("s3c"), std::string::npos) << logged;
    EXPECT_NE(logged.find("\"password\":\"<redacted>\""), std::string::npos) << logged;
    EXPECT_NE(logged.find("(" + std::to_string(body.size()) + " bytes in all)"), std::string::npos) << logged;
    // A cut never splits a character.
    EXPECT_EQ(loggableBody("\xC3\xA9\xC3\xA9", 3), "\xC3\xA9… (4 bytes in all)");
}

TEST(LogRedaction, HeadersShowOnlyPlainValuesAndUrlsLoseTheirQuery) {
    const HttpHeaders headers{{"Content-Type", "application/json"},
                              {"X-Parse-Application-Id", "app"},
                              {"X-Parse-Session-Token", "r:t"},
                              {"X-Parse-Client-Key", "ck"},
                              {"set-cookie", "id=1"}};
    EXPECT_EQ(
        describeHeaders(headers),
        R"(["Content-Type": "application/json", "X-Parse-Application-Id": "app", "X-Parse-Client-Key": "<redacted>", )"
        R"("X-Parse-Session-Token": "<redacted>", "set-cookie": "<redacted>"])");
    EXPECT_EQ(detail::redactedUrl("https://h/f.zip?signature=1"), "https://h/f.zip?<redacted>");
    EXPECT_EQ(detail::redactedUrl("https://h/f.zip"), "https://h/f.zip");
}

}  // namespace
}  // namespace vantrel
