// Benchmarks of the backend client against the reference backend, each beside the Parse
// JavaScript SDK doing the same work on the same server (bench/js/*.mjs):
//
//  - BM_ReadThousandInPagesOfHundred: 1,000 components read in pages of 100 with a manager's
//    session; counters: ours_ms (mean of one full read, page after page as the services read),
//    js_ms (the JavaScript SDK, page after page; the mean of a run before ours and one after),
//    ratio = ours / js (goal <= 0.6), overlapped_ms and overlapped_ratio (findAllInBackground,
//    four pages in flight) and floor_ms (the same requests as bare HTTP exchanges, taking turns
//    with ours: the server's and the network's share).
//  - BM_LiveQuerySaveToEvent: time from the start of a REST save to the arrival of its create
//    event at our LiveQuery client; counters: ours_median_ms, ours_p90_ms, js_median_ms,
//    js_p90_ms (the mean of two runs, before and after ours), ratio = ours median / js median
//    (goal <= 1), and floor_median_ms, floor_p90_ms, floor_ratio, floor_p90_ratio against a bare
//    WebSocket client (support/BareLiveQueryClient) watching rows of its own on the same server,
//    its saves taking turns with ours (goal <= 1.05).
//
// Needs `scripts/backend.sh start`; without it each benchmark reports an error and skips.

#include "support/BareLiveQueryClient.hpp"
#include "support/BenchBackend.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;
using vantrel_bench::configure;
using vantrel_bench::loadBackend;
using vantrel_bench::percentile;
using vantrel_bench::runNode;
using vantrel_bench::Slot;

// ---- reading 1,000 objects in pages of 100 ----------------------------------------------------------

constexpr int kObjects = 1000;
constexpr int kPage = 100;

void BM_ReadThousandInPagesOfHundred(benchmark::State& state) {
    const auto backend = loadBackend();
    if (!backend) return state.SkipWithError("no reference backend: scripts/backend.sh start");
    const auto tag =
        "bench-" + std::to_string(::getpid()) + "-" + std::to_string(Clock::now().time_since_epoch().count());
    const json fixture = {
        {"description", "backend client read benchmark"},
        {"records",
         {{{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Bench " + tag}}}},
          {{"alias", "catalog"},
           {"className", "Catalog"},
           {"fields", {{"company", {{"$ref", "company"}}}, {"name", tag}}}},
          {{"alias", "manager"},
           {"className", "_User"},
           {"username", tag + "@bench.invalid"},
           {"password", "bench-pass-1"},
           {"roles", {"ROLE_COMPANY_MANAGER"}},
           {"login", true},
           {"fields", {{"company", {{"$ref", "company"}}}}}},
          {{"alias", "components"},
           {"className", "Component"},
           {"repeat", kObjects},
           {"fields",
            {{"catalog", {{"$ref", "catalog"}}},
             {"name", "Bench component {i}"},
             {"productNumber", "B-{i}"},
             {"price", 10.5},
             {"scnModelFilePath", "bench/{i}.zip"},
             {"snappingAreas",
              {{{"connectToComponentId", "x"}, {"offsetPosition", "1,0,0"}, {"offsetRotation", "0,0,0,1"}}}},
             {"nodesToTags", {{{"nodeName", "seat"}, {"tag", "fabric"}}}}}}}}}};
    const auto seeded = runNode({"backend/tools/seed.mjs", "apply", "-"}, fixture.dump());
    if (!seeded) return state.SkipWithError("seeding the benchmark data failed");
    const json aliases = json::parse(*seeded, nullptr, false);
    const std::string catalogId = aliases.value("catalog", "");
    const std::string token = aliases["manager"].value("sessionToken", "");

    configure(*backend);
    if (!vantrel::ParseUser::become(token)) return state.SkipWithError("the benchmark session is not valid");
    vantrel::ParseQuery query("Component");
    query.whereEqualTo("catalog", vantrel::ParseObject::createWithoutData("Catalog", catalogId))
        .orderByAscending("createdAt")
        .addAscendingOrder("objectId")
        .setLimit(kPage);

    Slot<std::pair<std::size_t, bool>> page;
    auto readAll = [&]() -> std::size_t {
        std::size_t count = 0;
        for (int skip = 0; skip < kObjects; skip += kPage) {
            vantrel::ParseQuery pageQuery(query);
            pageQuery.setSkip(skip);
            pageQuery.findInBackground([&page](auto objects, auto error) { page.set({objects.size(), !error}); });
            const auto result = page.take(std::chrono::seconds(60));
            if (!result || !result->second) return count;
            count += result->first;
            if (result->first < static_cast<std::size_t>(kPage)) break;
        }
        return count;
    };
    // The floor: the same ten requests as bare HTTP exchanges, answers neither parsed nor
    // decoded; what is left above it is the client's own work.
    vantrel::HttpClientOptions httpOptions;
    httpOptions.trustedCertificatesFile = backend->caFile;
    vantrel::HttpClient http(httpOptions);
    Slot<bool> exchanged;
    auto rawReadAll = [&] {
        for (int skip = 0; skip < kObjects; skip += kPage) {
            vantrel::ParseQuery pageQuery(query);
            pageQuery.setSkip(skip);
            auto body = pageQuery.findParameters();
            body["_method"] = "GET";
            vantrel::HttpRequest request;
            request.method = "POST";
            request.url = "https://" + backend->server + "/classes/Component";
            request.headers = {{"X-Parse-Application-Id", backend->applicationId},
                               {"X-Parse-Client-Key", backend->clientKey},
                               {"X-Parse-Session-Token", token},
                               {"Content-Type", "application/json"}};
            request.body = body.dump();
            http.send(request, [&exchanged](vantrel::HttpResponse response, vantrel::OptionalError error) {
                exchanged.set(!error && response.statusCode == 200);
            });
            exchanged.take(std::chrono::seconds(60));
        }
    };
    const auto msOf = [](const auto& work) {
        const auto start = Clock::now();
        work();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const auto mean = [](const std::vector<double>& values) {
        return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    };
    // The JavaScript SDK runs as a process of its own: once before ours and once after.
    const json where = {{"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", catalogId}}}};
    // Each run does as many reads as ours, so that its warm-up weighs as much as in one run.
    const auto runJs = [&] {
        const auto js = runNode({"bench/js/read_pages.mjs", std::to_string(kObjects),
                                 std::to_string(state.max_iterations), "--where", where.dump(), "--session", token});
        return js ? json::parse(*js, nullptr, false).value("ms", 0.0) : 0.0;
    };
    const double jsBefore = runJs();

    readAll();  // warm-up, as the JavaScript peer does: connections and server caches
    rawReadAll();
    std::vector<double> times;
    std::vector<double> floor;
    for (auto _ : state) {
        // Ours and the floor in turns, so that both meet the server in the same state.
        std::size_t count = 0;
        times.push_back(msOf([&] { count = readAll(); }));
        if (count != static_cast<std::size_t>(kObjects)) return state.SkipWithError("a page read failed");
        floor.push_back(msOf(rawReadAll));
    }

    // The same read with the pages overlapped (findAllInBackground, four requests in flight).
    Slot<std::size_t> all;
    std::vector<double> overlapped;
    vantrel::ParseQuery everything(query);
    everything.setLimit(-1);  // no total: the pages decide
    for (std::size_t i = 0; i < times.size(); ++i) {
        std::optional<std::size_t> count;
        overlapped.push_back(msOf([&] {
            everything.findAllInBackground([&all](auto objects, auto error) { all.set(error ? 0 : objects.size()); },
                                           kPage, 4);
            count = all.take(std::chrono::seconds(60));
        }));
        if (!count || *count != static_cast<std::size_t>(kObjects))
            return state.SkipWithError("an overlapped read failed");
    }

    const double jsAfter = runJs();
    const double jsMs = jsBefore > 0 && jsAfter > 0 ? (jsBefore + jsAfter) / 2 : 0.0;
    vantrel::ParseUser::logOut();  // only now: logging out revokes the session the peer used
    const double ours = mean(times);
    state.counters["ours_ms"] = ours;
    state.counters["floor_ms"] = mean(floor);
    state.counters["js_ms"] = jsMs;
    state.counters["js_before_ms"] = jsBefore;
    state.counters["js_after_ms"] = jsAfter;
    state.counters["ratio"] = jsMs > 0 ? ours / jsMs : 0;
    state.counters["overlapped_ms"] = mean(overlapped);
    state.counters["overlapped_ratio"] = jsMs > 0 ? mean(overlapped) / jsMs : 0;
}
BENCHMARK(BM_ReadThousandInPagesOfHundred)->Unit(benchmark::kMillisecond)->Iterations(10);

// ---- save-to-event latency of LiveQuery ------------------------------------------------------------

void BM_LiveQuerySaveToEvent(benchmark::State& state) {
    const auto backend = loadBackend();
    if (!backend) return state.SkipWithError("no reference backend: scripts/backend.sh start");
    configure(*backend);
    const auto ourApp = "latency-cpp-" + std::to_string(::getpid());
    const auto floorApp = "latency-floor-" + std::to_string(::getpid());

    // Rows of "UnsupportedAppVersion" need no session to watch; like the JavaScript peer the
    // saves go straight to REST with the master key (the measured part is the event's way back).
    vantrel::LiveQueryClient client("wss://" + backend->server, backend->applicationId, backend->clientKey,
                                    backend->caFile);
    vantrel::ParseQuery query("UnsupportedAppVersion");
    query.whereEqualTo("app", ourApp);
    auto subscription = client.subscribe(query);
    Slot<bool> subscribed;
    Slot<Clock::time_point> arrived;
    std::mutex expectedMutex;
    std::string expected;
    const auto arrival = [&](Clock::time_point now, const std::string& version) {
        std::lock_guard lock(expectedMutex);
        if (version == expected) arrived.set(now);
    };
    subscription->handleSubscribe([&](const vantrel::ParseQuery&) { subscribed.set(true); });
    subscription->handle(vantrel::Event::created,
                         [&](const vantrel::ParseQuery&, std::shared_ptr<vantrel::ParseObject> object) {
                             const auto now = Clock::now();
                             arrival(now, object->value("version").asString().value_or(""));
                         });
    if (!subscribed.take(std::chrono::seconds(10))) return state.SkipWithError("the subscription did not open");
    // The floor watches rows of its own app on the same server, and its saves alternate with ours.
    const auto bare =
        vantrel_bench::BareLiveQueryClient::open(backend->server, backend->caFile, backend->applicationId,
                                                 backend->clientKey, "UnsupportedAppVersion", floorApp, arrival);
    if (!bare) return state.SkipWithError("the bare WebSocket client did not subscribe");

    vantrel::HttpClientOptions options;
    options.trustedCertificatesFile = backend->caFile;
    vantrel::HttpClient http(options);
    std::vector<std::string> created;
    Slot<std::string> saved;
    // Saves a row of `app` and waits for its event: the time from the save's start, or none.
    auto saveOne = [&](const std::string& app, const std::string& version) -> std::optional<double> {
        {
            std::lock_guard lock(expectedMutex);
            expected = version;
        }
        vantrel::HttpRequest request;
        request.method = "POST";
        request.url = "https://" + backend->server + "/classes/UnsupportedAppVersion";
        request.headers = {{"X-Parse-Application-Id", backend->applicationId},
                           {"X-Parse-Master-Key", backend->masterKey},
                           {"Content-Type", "application/json"}};
        request.body = json{{"app", app}, {"version", version}}.dump();
        const auto start = Clock::now();
        http.send(request, [&saved](vantrel::HttpResponse response, vantrel::OptionalError error) {
            saved.set(error ? std::string() : json::parse(response.body, nullptr, false).value("objectId", ""));
        });
        const auto id = saved.take(std::chrono::seconds(30));
        if (!id || id->empty()) return std::nullopt;
        created.push_back(*id);
        const auto at = arrived.take(std::chrono::seconds(10));
        if (!at) return std::nullopt;
        return std::chrono::duration<double, std::milli>(*at - start).count();
    };

    // The JavaScript SDK runs as a process of its own, as many rounds as ours, once before ours and
    // once after, so that a server growing slower or faster over the run weighs on both alike.
    const auto runJs = [&] {
        const auto js = runNode({"bench/js/livequery_latency.mjs", std::to_string(state.max_iterations)});
        const json result = js ? json::parse(*js, nullptr, false) : json::object();
        return result.is_object() ? std::make_pair(result.value("median_ms", 0.0), result.value("p90_ms", 0.0))
                                  : std::make_pair(0.0, 0.0);
    };
    const auto jsBefore = runJs();

    for (int i = -3; i < 0; ++i) {  // unmeasured rounds: connections and caches
        saveOne(ourApp, "ours" + std::to_string(i));
        saveOne(floorApp, "floor" + std::to_string(i));
    }
    std::vector<double> latencies;
    std::vector<double> floor;
    int round = 0;
    for (auto _ : state) {
        // Ours and the floor in turns, so that both meet the server in the same state.
        const auto ours = saveOne(ourApp, "ours" + std::to_string(round));
        if (!ours) return state.SkipWithError("a save failed or its event did not arrive within 10 s");
        const auto bareMs = saveOne(floorApp, "floor" + std::to_string(round++));
        if (!bareMs) return state.SkipWithError("a save failed or its event did not reach the floor within 10 s");
        latencies.push_back(*ours);
        floor.push_back(*bareMs);
        state.SetIterationTime(*ours / 1000.0);
    }
    for (const auto& id : created) {
        vantrel::HttpRequest request;
        request.method = "DELETE";
        request.url = "https://" + backend->server + "/classes/UnsupportedAppVersion/" + id;
        request.headers = {{"X-Parse-Application-Id", backend->applicationId},
                           {"X-Parse-Master-Key", backend->masterKey}};
        http.send(request, [&saved](vantrel::HttpResponse, vantrel::OptionalError) { saved.set("deleted"); });
        saved.take(std::chrono::seconds(30));
    }

    const auto jsAfter = runJs();
    const bool jsRan = jsBefore.first > 0 && jsAfter.first > 0;
    const double jsMedian = jsRan ? (jsBefore.first + jsAfter.first) / 2 : 0.0;
    const double ourMedian = percentile(latencies, 50);
    state.counters["ours_median_ms"] = ourMedian;
    state.counters["ours_p90_ms"] = percentile(latencies, 90);
    state.counters["js_median_ms"] = jsMedian;
    state.counters["js_p90_ms"] = jsRan ? (jsBefore.second + jsAfter.second) / 2 : 0.0;
    state.counters["ratio"] = jsMedian > 0 ? ourMedian / jsMedian : 0;
    const double floorMedian = percentile(floor, 50);
    const double floorP90 = percentile(floor, 90);
    state.counters["floor_median_ms"] = floorMedian;
    state.counters["floor_p90_ms"] = floorP90;
    state.counters["floor_ratio"] = floorMedian > 0 ? ourMedian / floorMedian : 0;
    state.counters["floor_p90_ratio"] = floorP90 > 0 ? percentile(latencies, 90) / floorP90 : 0;
}
BENCHMARK(BM_LiveQuerySaveToEvent)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(200);

}  // namespace
