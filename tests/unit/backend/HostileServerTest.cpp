// The backend client facing servers that misbehave on purpose: redirects that would carry the
// session elsewhere, answers too large for memory (declared, compressed or streamed), documents
// nested deep enough to exhaust a stack, and a stored session that belongs to another server or
// meets a planted link.

#include "backend/CurrentUserStore.hpp"
#include "backend/JsonDocument.hpp"
#include "backend/LiveQueryProtocol.hpp"
#include "backend/WebSocketConnection.hpp"
#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "support/BackendFakeLiveQueryServer.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace vantrel {
namespace {

using nlohmann::json;
using test::Await;
using test::FakeHttpRequest;
using test::FakeHttpServer;
using Objects = std::pair<std::vector<std::shared_ptr<ParseObject>>, OptionalError>;
using backend_detail::WebSocketConnection;

std::string gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string transportOf(const OptionalError& error) {
    return error ? error->userInfo.value("transport", "") : "<none>";
}

class HostileServerTest : public testing::Test {
protected:
    void SetUp() override {
        persistence_ = std::filesystem::temp_directory_path() / ("vantrel-hostile-" + std::to_string(::getpid()));
        std::filesystem::remove_all(persistence_);
        initialize(server_.url() + "/parse");
        ParseUser::logOut();
        ParseQuery::clearAllCachedResults();
    }
    void TearDown() override {
        ParseUser::logOut();
        ParseQuery::clearAllCachedResults();
        std::filesystem::remove_all(persistence_);
    }

    void initialize(const std::string& server, std::int64_t maximumResponseBytes = std::int64_t{1} << 20) {
        ParseClientConfiguration configuration;
        configuration.server = server;
        configuration.applicationId = "app-id";
        configuration.clientKey = "client-key";
        configuration.requestTimeout = std::chrono::milliseconds(10000);
        configuration.persistenceDirectory = persistence_.string();
        configuration.maximumResponseBytes = maximumResponseBytes;
        Parse::initialize(configuration);
    }

    static Objects find() {
        Await<Objects> done;
        ParseQuery("Thing").findInBackground([done](auto objects, auto error) {
            done.set({std::move(objects), std::move(error)});
        });
        auto result = done.get();
        if (!result) ADD_FAILURE() << "no completion";
        return result.value_or(Objects{});
    }

    void logIn() {
        Await<OptionalError> done;
        ParseUser::logInWithUsernameInBackground("ann", "secret", [done](auto, auto error) { done.set(error); });
        const auto error = done.get();
        ASSERT_TRUE(error && !*error) << (error && *error ? (*error)->description() : "no answer");
    }

    FakeHttpServer server_{[](const FakeHttpRequest& request) {
        if (request.target == "/parse/login")
            return FakeHttpServer::response(200, R"({"objectId":"u1","username":"ann","sessionToken":"r:token1"})");
        return FakeHttpServer::response(200, "{}");
    }};
    std::filesystem::path persistence_;
};

// ---- redirects ----------------------------------------------------------------------------------

TEST_F(HostileServerTest, RedirectsNeverTakeTheSessionToAnotherServer) {
    FakeHttpServer elsewhere([](const FakeHttpRequest&) { return FakeHttpServer::response(200, R"({"results":[]})"); });
    logIn();
    // By value: the fixture's server outlives this test body and may still answer (a log-out in
    // tear-down) after `elsewhere` is gone.
    const std::string target = elsewhere.url() + "/parse/classes/Thing";
    server_.setHandler([target](const FakeHttpRequest&) {
        return FakeHttpServer::response(302, "", "text/plain", {{"Location", target}});
    });
    const auto [objects, error] = find();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::otherCause);
    EXPECT_EQ(elsewhere.requests().size(), 0u) << "the session token went to the redirect's target";

    // Signed transfers may follow redirects, but only to https: a plain-http target is refused.
    HttpClient client;
    for (const auto redirects : {HttpRedirects::none, HttpRedirects::httpsOnly}) {
        HttpRequest request;
        request.url = server_.url() + "/file";
        request.redirects = redirects;
        Await<std::pair<long, OptionalError>> done;
        client.send(request, [done](HttpResponse response, OptionalError failure) {
            done.set({response.statusCode, failure});
        });
        const auto result = done.get();
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->first == 302 || result->second) << "followed to http";
    }
    EXPECT_EQ(elsewhere.requests().size(), 0u);
}

// ---- answers too large for memory ---------------------------------------------------------------

TEST_F(HostileServerTest, AnswersLargerThanTheLimitFailWhileTheyArrive) {
    const std::string big = R"({"results":[],"padding":")" + std::string(3 << 20, 'a') + "\"}";
    const std::string compressed = gzip(big);
    ASSERT_LT(compressed.size(), 64u * 1024u);
    struct Case {
        const char* what;
        std::string response;
    };
    const Case cases[] = {
        {"declared length", FakeHttpServer::response(200, big)},
        {"error body", FakeHttpServer::response(400, big)},
        {"compressed to a few kilobytes",
         FakeHttpServer::response(200, compressed, "application/json", {{"Content-Encoding", "gzip"}})},
        {"no declared length", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + big},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server_.setHandler([response = c.response](const FakeHttpRequest&) { return response; });
        const auto [objects, error] = find();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
        EXPECT_EQ(transportOf(error), "size");
    }

    // A download's failure answer only feeds a message: it is cut, and the status still tells.
    HttpClient client;
    HttpRequest request;
    request.url = server_.url() + "/file";
    request.downloadFile = persistence_ / "file.bin";
    request.maximumBodyBytes = 1000;
    server_.setHandler([big](const FakeHttpRequest&) { return FakeHttpServer::response(404, big, "text/plain"); });
    Await<std::pair<HttpResponse, OptionalError>> done;
    client.send(request, [done](HttpResponse response, OptionalError failure) {
        done.set({std::move(response), failure});
    });
    const auto result = done.get();
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->second) << result->second->description();
    EXPECT_EQ(result->first.statusCode, 404);
    EXPECT_LE(result->first.body.size(), 1000u);
    EXPECT_FALSE(std::filesystem::exists(*request.downloadFile));
}

TEST_F(HostileServerTest, LiveQueryMessagesLargerThanTheLimitCloseTheConnection) {
    test::FakeLiveQueryServer server;
    boost::asio::io_context io;
    auto work = boost::asio::make_work_guard(io);
    std::thread thread([&io] { io.run(); });
    Await<Error> closed;
    Await<bool> opened;
    WebSocketConnection::Callbacks callbacks;
    callbacks.onOpen = [opened] { opened.set(true); };
    callbacks.onClosed = [closed](Error reason) { closed.set(std::move(reason)); };
    WebSocketConnection::Limits limits;
    limits.maximumMessageBytes = 64 * 1024;
    auto connection =
        WebSocketConnection::create(io, *backend_detail::parseWebSocketUrl(server.url()), nullptr, limits, callbacks);
    boost::asio::post(io, [connection] { connection->start(); });
    ASSERT_TRUE(opened.get());
    ASSERT_TRUE(server.waitForConnections(1));
    server.send(json{{"op", "create"}, {"padding", std::string(128 * 1024, 'a')}});
    const auto reason = closed.get();
    ASSERT_TRUE(reason);
    EXPECT_EQ(reason->userInfo.value("transport", ""), "size") << reason->description();
    boost::asio::post(io, [connection] { connection->close(); });
    work.reset();
    io.stop();
    thread.join();
}

// ---- nesting depth ------------------------------------------------------------------------------

TEST_F(HostileServerTest, DocumentsNestedTooDeepAreRefusedAsInvalidJson) {
    const auto nested = [](std::size_t depth, const std::string& inner = "") {
        return std::string(depth, '[') + inner + std::string(depth, ']');
    };
    struct Case {
        std::string text;
        bool refused;
    };
    const Case cases[] = {
        {nested(backend_detail::kMaximumJsonDepth), false},
        {nested(backend_detail::kMaximumJsonDepth + 1), true},
        {nested(10, R"("]]]][[[[[[[\"[[[[")"), false},  // brackets inside strings do not count
        {"{\"a\":" + nested(300) + "}", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(backend_detail::parseJsonDocument(c.text).is_discarded(), c.refused) << c.text.substr(0, 40);
    }

    // 30,000 levels (60 KB) as a REST answer and as a LiveQuery frame: refused, nothing recurses.
    const std::string deep = R"({"results":[)" + nested(30000, "{}") + "]}";
    server_.setHandler([deep](const FakeHttpRequest&) { return FakeHttpServer::response(200, deep); });
    const auto [objects, error] = find();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::invalidJSON);
    EXPECT_FALSE(backend_detail::parseServerMessage(R"({"op":"create","requestId":1,"object":)" + nested(30000) + "}"));
}

// ---- the stored session -------------------------------------------------------------------------

TEST_F(HostileServerTest, AStoredSessionIsRestoredOnlyForItsOwnServer) {
    logIn();
    ASSERT_TRUE(std::filesystem::exists(CurrentUserStore::filePath()));
    FakeHttpServer other;
    initialize(other.url() + "/parse");  // the host now talks to another server
    EXPECT_EQ(ParseUser::currentUser(), nullptr);
    initialize(server_.url() + "/parse");  // and back
    ASSERT_NE(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(ParseUser::currentUser()->sessionToken(), "r:token1");
}

TEST_F(HostileServerTest, SavingTheSessionNeverWritesThroughAPlantedLinkAndReportsFailures) {
    // A link planted where a fixed temporary name would be opened.
    std::filesystem::create_directories(persistence_);
    const auto victim = persistence_.parent_path() / ("vantrel-hostile-victim-" + std::to_string(::getpid()));
    std::ofstream(victim) << "untouched";
    std::filesystem::create_symlink(victim, CurrentUserStore::filePath().string() + ".tmp");
    logIn();
    std::stringstream kept;
    kept << std::ifstream(victim).rdbuf();
    EXPECT_EQ(kept.str(), "untouched");
    ASSERT_TRUE(std::filesystem::exists(CurrentUserStore::filePath()));
    std::filesystem::remove(victim);

    // A store that cannot be written: the user stays signed in for this run, the log says why.
    ParseUser::logOut();
    std::filesystem::remove_all(persistence_);
    std::ofstream(persistence_) << "a file where the directory should be";
    const test::LogCapture log;
    logIn();
    EXPECT_NE(ParseUser::currentUser(), nullptr);
    EXPECT_EQ(log.count("Cannot keep the current user"), 1u);
    ParseUser::logOut();
    std::filesystem::remove(persistence_);
}

}  // namespace
}  // namespace vantrel
