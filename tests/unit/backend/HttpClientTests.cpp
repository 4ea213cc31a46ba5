#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/ParseError.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vantrel {
namespace {

using test::Await;
using test::FakeHttpRequest;
using test::FakeHttpServer;
using Result = std::pair<HttpResponse, OptionalError>;

Result run(HttpClient& client, HttpRequest request) {
    Await<Result> done;
    client.send(std::move(request), [done](HttpResponse response, OptionalError error) {
        done.set({std::move(response), std::move(error)});
    });
    auto result = done.get();
    if (!result) ADD_FAILURE() << "no completion";
    return result.value_or(Result{});
}

HttpRequest get(const std::string& url) {
    HttpRequest request;
    request.url = url;
    return request;
}

std::filesystem::path scratch(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("vantrel-http-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

TEST(HttpClientExchange, ReturnsStatusHeadersAndBody) {
    FakeHttpServer server([](const FakeHttpRequest&) {
        return FakeHttpServer::response(201, R"({"ok":true})", "application/json", {{"X-Answer", "42"}});
    });
    HttpClient client;
    auto request = get(server.url() + "/path?q=1");
    request.headers["X-Custom"] = "yes";
    const auto [response, error] = run(client, request);
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, R"({"ok":true})");
    EXPECT_EQ(response.headers.at("x-answer"), "42");
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/path?q=1");
    EXPECT_EQ(seen[0].headers.at("x-custom"), "yes");
    EXPECT_NE(seen[0].headers.at("accept-encoding").find("gzip"), std::string::npos);
}

TEST(HttpClientExchange, SendsBodiesWithEveryMethod) {
    FakeHttpServer server([](const FakeHttpRequest& request) {
        return FakeHttpServer::response(200, request.method + ":" + request.body);
    });
    HttpClient client;
    for (const char* method : {"POST", "PUT", "DELETE"}) {
        auto request = get(server.url() + "/x");
        request.method = method;
        request.body = "payload";
        request.headers["Content-Type"] = "text/plain";
        const auto [response, error] = run(client, request);
        ASSERT_FALSE(error);
        EXPECT_EQ(response.body, std::string(method) + ":payload");
    }
}

TEST(HttpClientExchange, ErrorStatusIsAResponseNotATransportError) {
    FakeHttpServer server(
        [](const FakeHttpRequest&) { return FakeHttpServer::response(404, "missing", "text/plain"); });
    HttpClient client;
    const auto [response, error] = run(client, get(server.url()));
    EXPECT_FALSE(error);
    EXPECT_EQ(response.statusCode, 404);
}

TEST(HttpClientExchange, ReusesTheConnection) {
    FakeHttpServer server([](const FakeHttpRequest&) { return FakeHttpServer::response(200, "{}"); });
    HttpClient client;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(run(client, get(server.url())).second);
    EXPECT_EQ(server.requests().size(), 3u);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST(HttpClientExchange, CompletesOnAWorkerThread) {
    FakeHttpServer server([](const FakeHttpRequest&) { return FakeHttpServer::response(200, "{}"); });
    HttpClient client;
    Await<std::thread::id> thread;
    client.send(get(server.url()), [thread](HttpResponse, OptionalError) { thread.set(std::this_thread::get_id()); });
    const auto id = thread.get();
    ASSERT_TRUE(id);
    EXPECT_NE(*id, std::this_thread::get_id());
}

TEST(HttpClientFaults, ServerThatNeverAnswersTimesOut) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::silent);
    HttpClient client;
    auto request = get(server.url());
    request.timeout = std::chrono::milliseconds(300);
    const auto [response, error] = run(client, request);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kParseErrorDomain);
    EXPECT_EQ(error->code, ParseErrorCode::timeout);
    EXPECT_EQ(error->userInfo["transport"], "timeout");
}

TEST(HttpClientFaults, StalledTransferFailsEvenWithoutATotalLimit) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::silent);
    HttpClient client;
    auto request = get(server.url());
    request.timeout = std::chrono::milliseconds(0);
    request.stallTimeout = std::chrono::milliseconds(1000);
    const auto [response, error] = run(client, request);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::timeout);
}

TEST(HttpClientFaults, ConnectionClosedMidResponseIsAConnectionFailure) {
    FakeHttpServer server([](const FakeHttpRequest&) { return FakeHttpServer::response(200, std::string(4000, 'x')); });
    server.setMode(FakeHttpServer::Mode::closeMidResponse);
    HttpClient client;
    const auto [response, error] = run(client, get(server.url()));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
    EXPECT_EQ(error->userInfo["transport"], "io");
}

TEST(HttpClientFaults, NothingListeningIsAConnectionFailure) {
    std::string url;
    {
        FakeHttpServer closed;
        url = closed.url();
    }
    HttpClient client;
    const auto [response, error] = run(client, get(url));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
    EXPECT_EQ(error->userInfo["transport"], "connect");
}

TEST(HttpClientFaults, TlsHandshakeWithAPlainServerIsATlsFailure) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::plainGreeting);
    HttpClient client;
    auto request = get("https://127.0.0.1:" + std::to_string(server.port()) + "/");
    request.timeout = std::chrono::milliseconds(5000);
    const auto [response, error] = run(client, request);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ParseErrorCode::connectionFailed);
    EXPECT_EQ(error->userInfo["transport"], "tls");
}

TEST(HttpClientFaults, CancelEndsARequestAtOnce) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::silent);
    HttpClient client;
    Await<OptionalError> done;
    const auto id =
        client.send(get(server.url()), [done](HttpResponse, OptionalError error) { done.set(std::move(error)); });
    client.cancel(id);
    const auto error = done.get();
    ASSERT_TRUE(error && *error);
    EXPECT_EQ((*error)->userInfo["transport"], "cancelled");
}

TEST(HttpClientFaults, DestroyingTheClientCompletesWhatIsInFlight) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::silent);
    Await<OptionalError> done;
    {
        HttpClient client;
        client.send(get(server.url()), [done](HttpResponse, OptionalError error) { done.set(std::move(error)); });
        EXPECT_EQ(client.activeCount(), 1u);
    }
    const auto error = done.get(std::chrono::milliseconds(0));  // already delivered by the destructor
    ASSERT_TRUE(error && *error);
    EXPECT_EQ((*error)->code, ParseErrorCode::connectionFailed);
}

TEST(HttpClientFiles, DownloadStreamsIntoTheFileWithProgress) {
    const std::string payload(200000, 'z');
    FakeHttpServer server(
        [&](const FakeHttpRequest&) { return FakeHttpServer::response(200, payload, "application/zip"); });
    HttpClient client;
    const auto target = scratch("download.bin");
    std::filesystem::remove(target);
    auto request = get(server.url() + "/file");
    request.downloadFile = target;
    auto last = std::make_shared<std::atomic<std::int64_t>>(0);
    request.progress = [last](std::int64_t done, std::int64_t) { *last = done; };
    const auto [response, error] = run(client, request);
    ASSERT_FALSE(error) << error->description();
    EXPECT_TRUE(response.body.empty());
    EXPECT_EQ(response.bytesReceived, static_cast<std::int64_t>(payload.size()));
    EXPECT_EQ(readFile(target), payload);
    EXPECT_FALSE(std::filesystem::exists(target.string() + ".part"));
    EXPECT_EQ(last->load(), static_cast<std::int64_t>(payload.size()));
}

TEST(HttpClientFiles, FailedDownloadLeavesNoFile) {
    FakeHttpServer server(
        [](const FakeHttpRequest&) { return FakeHttpServer::response(403, "expired", "text/plain"); });
    HttpClient client;
    const auto target = scratch("denied.bin");
    std::filesystem::remove(target);
    auto request = get(server.url());
    request.downloadFile = target;
    const auto [response, error] = run(client, request);
    EXPECT_FALSE(error);
    EXPECT_EQ(response.statusCode, 403);
    EXPECT_EQ(response.body, "expired");  // error bodies stay readable
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(target.string() + ".part"));
}

TEST(HttpClientFiles, BrokenDownloadLeavesNoFile) {
    FakeHttpServer server(
        [](const FakeHttpRequest&) { return FakeHttpServer::response(200, std::string(50000, 'q')); });
    server.setMode(FakeHttpServer::Mode::closeMidResponse);
    HttpClient client;
    const auto target = scratch("broken.bin");
    auto request = get(server.url());
    request.downloadFile = target;
    const auto [response, error] = run(client, request);
    ASSERT_TRUE(error);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(target.string() + ".part"));
}

TEST(HttpClientFiles, UploadStreamsTheFileWithItsContentType) {
    FakeHttpServer server([](const FakeHttpRequest& request) {
        return FakeHttpServer::response(200,
                                        std::to_string(request.body.size()) + " " + request.headers.at("content-type"));
    });
    HttpClient client;
    const auto source = scratch("upload.bin");
    {
        std::ofstream out(source, std::ios::binary);
        out << std::string(70000, 'u');
    }
    auto request = get(server.url() + "/signed");
    request.method = "PUT";
    request.uploadFile = source;
    request.headers["Content-Type"] = "application/zip";
    const auto [response, error] = run(client, request);
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(response.body, "70000 application/zip");
    EXPECT_EQ(server.requests().at(0).method, "PUT");
}

TEST(HttpClientFiles, MissingUploadFileFailsWithoutAConnection) {
    FakeHttpServer server([](const FakeHttpRequest&) { return FakeHttpServer::response(200, "{}"); });
    HttpClient client;
    auto request = get(server.url());
    request.method = "PUT";
    request.uploadFile = scratch("does-not-exist.bin");
    const auto [response, error] = run(client, request);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo["transport"], "file");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace vantrel
