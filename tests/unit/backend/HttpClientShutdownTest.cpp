// Stopping an HttpClient while requests run and while their blocks send more: every block hears of
// its request (code 100), none is dropped, and cancelling at that point touches nothing closed.

#include "support/BackendAwait.hpp"
#include "support/BackendFakeHttpServer.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/ParseError.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using test::Await;
using test::FakeHttpServer;

TEST(HttpClientShutdown, RequestsSentFromBlocksDuringShutdownEndWithCode100) {
    FakeHttpServer server;
    server.setMode(FakeHttpServer::Mode::silent);  // the first request is still running at shutdown
    HttpClient client;
    HttpRequest request;
    request.url = server.url() + "/slow";

    Await<long> first, followUp, afterwards;
    client.send(request, [&client, request, first, followUp](HttpResponse, OptionalError error) {
        first.set(error ? error->code : 0);
        // What a completion chain does: the next request, and a cancel of it.
        const auto id =
            client.send(request, [followUp](HttpResponse, OptionalError next) { followUp.set(next ? next->code : 0); });
        client.cancel(id);
    });
    ASSERT_TRUE(test::eventually([&] { return !server.requests().empty(); }));
    client.shutdown();
    // shutdown returned: the blocks, including the one of the request sent meanwhile, have run.
    ASSERT_TRUE(first.get(std::chrono::milliseconds(0)));
    EXPECT_EQ(*first.get(), ParseErrorCode::connectionFailed);
    ASSERT_TRUE(followUp.get(std::chrono::milliseconds(0))) << "a request sent during shutdown was dropped";
    EXPECT_EQ(*followUp.get(), ParseErrorCode::connectionFailed);

    client.send(request, [afterwards](HttpResponse, OptionalError error) { afterwards.set(error ? error->code : 0); });
    EXPECT_EQ(afterwards.get().value_or(0), ParseErrorCode::connectionFailed);
    client.cancel(12345);
    client.shutdown();
    EXPECT_EQ(client.activeCount(), 0u);
}

}  // namespace
}  // namespace vantrel
