// Live changes of a catalogue, measured end to end: from a save by the Parse JavaScript SDK to the
// library's "component created" notification, beside the JavaScript SDK's own LiveQuery event for
// the same save (both watch the same catalogue in the same run).
//
//  - BM_SaveToNotification: counters ours_median_ms, ours_p90_ms, js_median_ms, js_p90_ms and
//    ratio = ours median / js median (goal <= 1).
//  - BM_BurstOfThousandChanges: 1,000 saves with 16 in flight; counters received (of 1,000),
//    lost, ours_ms (first save start to our last notification), js_received, js_ms, ratio.
//
// Times cross processes, so both sides read the wall clock (milliseconds since 1970).
// Needs `scripts/backend.sh start`; without it each benchmark reports an error and skips.
// Run: vantrel_bench --benchmark_filter='SaveToNotification|BurstOfThousand'

#include "support/BenchBackend.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/ComponentService.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>

namespace {

using nlohmann::json;
using namespace vantrel_bench;

double wallClockMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Arrival times of the library's created notifications, by object id.
class Arrivals {
public:
    Arrivals()
        : observer_(vantrel::NotificationCenter::defaultCenter(), vantrel::VantrelSDK::componentCreatedNotification,
                    [this](const vantrel::Notification& notification) {
                        const auto now = wallClockMs();
                        const auto* record =
                            std::any_cast<std::shared_ptr<vantrel::ComponentEntity>>(&notification.object);
                        if (!record || !*record) return;
                        std::lock_guard lock(mutex_);
                        times_.emplace((*record)->objectId().value_or(""), now);
                        changed_.notify_all();
                    }) {}

    // Waits (bounded) until every id of `ids` arrived; returns their arrival times.
    std::map<std::string, double> await(const std::vector<std::string>& ids, std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] {
            return std::all_of(ids.begin(), ids.end(), [&](const std::string& id) { return times_.contains(id); });
        });
        std::map<std::string, double> found;
        for (const auto& id : ids)
            if (auto it = times_.find(id); it != times_.end()) found.emplace(id, it->second);
        return found;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, double> times_;
    vantrel::ScopedObserver observer_;
};

// A company of its own with a manager signed in through the library and the component service
// subscribed to its catalogue.
struct WatchedCatalogue {
    json seeded;
    std::string catalogId;
    std::string session;
};

std::optional<WatchedCatalogue> watchNewCatalogue(benchmark::State& state, Arrivals& arrivals) {
    const auto backend = loadBackend();
    if (!backend) {
        state.SkipWithError("the reference backend is not running (scripts/backend.sh start)");
        return std::nullopt;
    }
    const std::string tag = "bench-live-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand());
    const json fixture = {{"description", "live changes benchmark " + tag},
                          {"records",
                           {{{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Company " + tag}}}},
                            {{"alias", "catalog"},
                             {"className", "Catalog"},
                             {"fields", {{"company", {{"$ref", "company"}}}, {"name", tag}}}},
                            {{"alias", "manager"},
                             {"className", "_User"},
                             {"username", "manager-" + tag + "@test.invalid"},
                             {"password", "manager-pass-1"},
                             {"email", "manager-" + tag + "@test.invalid"},
                             {"roles", {"ROLE_COMPANY_MANAGER"}},
                             {"login", true},
                             {"fields", {{"fullName", "Manager"}, {"company", {{"$ref", "company"}}}}}}}}};
    const auto output = runNode({"backend/tools/seed.mjs", "apply", "-"}, fixture.dump());
    if (!output) {
        state.SkipWithError("seeding failed");
        return std::nullopt;
    }
    WatchedCatalogue watched;
    watched.seeded = json::parse(*output);
    watched.catalogId = watched.seeded["catalog"].get<std::string>();
    watched.session = watched.seeded["manager"]["sessionToken"].get<std::string>();

    configure(*backend);
    vantrel::registerRecordClasses();
    vantrel::OptionalError error;
    if (!vantrel::ParseUser::become(watched.session, &error)) {
        state.SkipWithError("could not take over the manager's session");
        return std::nullopt;
    }
    vantrel::LiveQueryClient::setShared(std::make_shared<vantrel::LiveQueryClient>(
        "wss://" + backend->server, backend->applicationId, backend->clientKey, backend->caFile));
    auto catalog = std::make_shared<vantrel::CatalogEntity>();
    catalog->setObjectId(watched.catalogId);
    vantrel::ComponentService::sharedInstance().subscribe(catalog);

    // Probes until one is announced: the subscription stands once the server has confirmed it,
    // and a save made before that is never heard of.
    for (int attempt = 0; attempt < 15; ++attempt) {
        auto probe = std::make_shared<vantrel::ComponentEntity>();
        probe->set("name", "probe " + std::to_string(attempt));
        probe->set("catalog", catalog);
        Slot<bool> saved;
        probe->saveInBackground([&saved](bool ok, vantrel::OptionalError) { saved.set(ok); });
        if (!saved.take(std::chrono::seconds(15)).value_or(false)) break;
        if (!arrivals.await({probe->objectId().value_or("")}, std::chrono::seconds(1)).empty()) return watched;
    }
    state.SkipWithError("the subscription did not start");
    return std::nullopt;
}

void stopWatching() {
    vantrel::ComponentService::sharedInstance().unsubscribe();
    vantrel::LiveQueryClient::setShared(nullptr);
    vantrel::ParseUser::logOut();
}

std::vector<json> jsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(json::parse(line));
    return lines;
}

void BM_SaveToNotification(benchmark::State& state) {
    Arrivals arrivals;
    const auto watched = watchNewCatalogue(state, arrivals);
    if (!watched) return;
    constexpr int kSaves = 50;
    std::vector<double> ours;
    std::vector<double> js;
    for (auto _ : state) {
        const auto output = runNode({"bench/js/catalog_changes.mjs", "latency", std::to_string(kSaves), "--session",
                                     watched->session, "--catalog", watched->catalogId});
        if (!output) {
            state.SkipWithError("the JavaScript peer failed");
            break;
        }
        const auto saves = jsonLines(*output);
        std::vector<std::string> ids;
        for (const auto& save : saves) ids.push_back(save["id"]);
        const auto arrived = arrivals.await(ids, std::chrono::seconds(15));
        for (const auto& save : saves) {
            js.push_back(save["js_ms"].get<double>());
            if (auto it = arrived.find(save["id"]); it != arrived.end())
                ours.push_back(it->second - save["t0"].get<double>());
        }
        state.SetIterationTime(0.001 * percentile(ours, 50));
    }
    stopWatching();
    state.counters["saves"] = static_cast<double>(js.size());
    state.counters["ours_received"] = static_cast<double>(ours.size());
    state.counters["ours_median_ms"] = percentile(ours, 50);
    state.counters["ours_p90_ms"] = percentile(ours, 90);
    state.counters["js_median_ms"] = percentile(js, 50);
    state.counters["js_p90_ms"] = percentile(js, 90);
    const double jsMedian = percentile(js, 50);
    state.counters["ratio"] = jsMedian > 0 ? percentile(ours, 50) / jsMedian : 0;
}
BENCHMARK(BM_SaveToNotification)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_BurstOfThousandChanges(benchmark::State& state) {
    Arrivals arrivals;
    const auto watched = watchNewCatalogue(state, arrivals);
    if (!watched) return;
    constexpr int kChanges = 1000;
    for (auto _ : state) {
        const auto output = runNode({"bench/js/catalog_changes.mjs", "burst", std::to_string(kChanges), "--session",
                                     watched->session, "--catalog", watched->catalogId});
        if (!output) {
            state.SkipWithError("the JavaScript peer failed");
            break;
        }
        const auto result = json::parse(*output);
        const auto ids = result["ids"].get<std::vector<std::string>>();
        const auto arrived = arrivals.await(ids, std::chrono::seconds(60));
        double last = 0;
        for (const auto& [id, time] : arrived) last = std::max(last, time);
        const double ours = arrived.empty() ? 0 : last - result["t0"].get<double>();
        state.SetIterationTime(0.001 * ours);
        state.counters["received"] = static_cast<double>(arrived.size());
        state.counters["lost"] = static_cast<double>(ids.size() - arrived.size());
        state.counters["ours_ms"] = ours;
        state.counters["save_ms"] = result["save_ms"].get<double>();
        state.counters["js_received"] = result["js_received"].get<double>();
        const double js = result["js_ms"].is_number() ? result["js_ms"].get<double>() : 0;
        state.counters["js_ms"] = js;
        state.counters["ratio"] = js > 0 ? ours / js : 0;
    }
    stopWatching();
}
BENCHMARK(BM_BurstOfThousandChanges)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
