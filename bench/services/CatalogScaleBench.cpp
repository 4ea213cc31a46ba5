// A catalogue's size should not change what one page of it costs: the component service reads a
// page of 100 from a catalogue of 1,000 components and from one of 100,000, in the same run.
//
//  - BM_ComponentPageAtScale/<N>: one catalogue filled to N components (bulk rows written straight
//    into the database after one component was seeded through the backend, so they carry its
//    catalogue and ACL). Each iteration reads through `obtainAllComponentsByCatalog`, one request
//    of 99 records each (a `max` below 100 is one page):
//      first_page_ms:        offset 0;
//      last_page_ms:         offset N - 99, following on from a read that ended there (a host
//                            paging through the list), so the service goes on after that read's
//                            last record;
//      last_page_by_skip_ms: offset N - 100, which follows no earlier read: the server skips to it.
//    The query plan of the page read is printed once per size (EXPLAIN ANALYZE, first and last
//    page), and the bulk rows are removed afterwards.
// Needs `scripts/backend.sh start`; without it the benchmark reports an error and skips.
// Run: vantrel_bench --benchmark_filter=ComponentPageAtScale

#include "support/BenchBackend.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/ComponentService.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdio>

namespace {

using nlohmann::json;
using namespace vantrel_bench;

double readPageMs(const std::shared_ptr<vantrel::CatalogEntity>& catalog, int offset, int max, std::size_t& count) {
    Slot<std::size_t> done;
    const auto start = std::chrono::steady_clock::now();
    vantrel::ComponentService::sharedInstance().obtainAllComponentsByCatalog(
        catalog, offset, max,
        [&done](auto records, vantrel::OptionalError error) { done.set(error ? 0 : records.size()); });
    count = done.take(std::chrono::seconds(60)).value_or(0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_ComponentPageAtScale(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const auto backend = loadBackend();
    if (!backend) return state.SkipWithError("the reference backend is not running (scripts/backend.sh start)");
    const std::string tag = "bench-scale-" + std::to_string(::getpid()) + "-" + std::to_string(size);
    const json fixture = {{"description", "catalogue scale benchmark " + tag},
                          {"records",
                           {{{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Company " + tag}}}},
                            {{"alias", "catalog"},
                             {"className", "Catalog"},
                             {"fields", {{"company", {{"$ref", "company"}}}, {"name", tag}}}},
                            {{"alias", "component"},
                             {"className", "Component"},
                             {"fields", {{"catalog", {{"$ref", "catalog"}}}, {"name", "Seed component"}}}},
                            {{"alias", "manager"},
                             {"className", "_User"},
                             {"username", "manager-" + tag + "@test.invalid"},
                             {"password", "manager-pass-1"},
                             {"email", "manager-" + tag + "@test.invalid"},
                             {"roles", {"ROLE_COMPANY_MANAGER"}},
                             {"login", true},
                             {"fields", {{"fullName", "Manager"}, {"company", {{"$ref", "company"}}}}}}}}};
    const auto output = runNode({"backend/tools/seed.mjs", "apply", "-"}, fixture.dump());
    if (!output) return state.SkipWithError("seeding failed");
    const json seeded = json::parse(*output);
    const std::string catalogId = seeded["catalog"].get<std::string>();
    if (!runNode(
            {"bench/js/bulk_components.mjs", "fill", seeded["component"].get<std::string>(), std::to_string(size)}))
        return state.SkipWithError("bulk filling failed");

    configure(*backend);
    vantrel::registerRecordClasses();
    vantrel::OptionalError error;
    if (!vantrel::ParseUser::become(seeded["manager"]["sessionToken"].get<std::string>(), &error))
        return state.SkipWithError("could not take over the manager's session");
    auto catalog = std::make_shared<vantrel::CatalogEntity>();
    catalog->setObjectId(catalogId);

    std::size_t firstCount = 0, lastCount = 0, skippedCount = 0;
    readPageMs(catalog, 0, 99, firstCount);          // warms the connection and the planner
    readPageMs(catalog, size - 198, 99, lastCount);  // the page before the last, as a host paging through
    std::vector<double> first, last, skipped;
    for (auto _ : state) {
        first.push_back(readPageMs(catalog, 0, 99, firstCount));
        last.push_back(readPageMs(catalog, size - 99, 99, lastCount));
        skipped.push_back(readPageMs(catalog, size - 100, 99, skippedCount));
    }
    state.counters["first_page_ms"] = percentile(first, 50);
    state.counters["last_page_ms"] = percentile(last, 50);
    state.counters["last_page_by_skip_ms"] = percentile(skipped, 50);
    state.counters["first_page_records"] = static_cast<double>(firstCount);
    state.counters["last_page_records"] = static_cast<double>(lastCount);
    state.counters["last_page_by_skip_records"] = static_cast<double>(skippedCount);
    for (const int skip : {0, size - 100})
        if (auto plan = runNode({"bench/js/bulk_components.mjs", "explain", catalogId, std::to_string(skip)}))
            std::fprintf(stderr, "-- plan of a page at skip %d of %d components --\n%s", skip, size, plan->c_str());
    runNode({"bench/js/bulk_components.mjs", "drop", catalogId});
    vantrel::ParseUser::logOut();
}
BENCHMARK(BM_ComponentPageAtScale)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
