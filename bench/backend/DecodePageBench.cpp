// The client's share of reading a page: one answer of 100 components as the reference backend
// sends it, taken apart step by step, without network or server.
//
//  - BM_DecodePage/0: the JSON text parsed (depth check included);
//  - BM_DecodePage/1: parsed, and every result made into a record through the class registry
//    (what a query does with its answer);
//  - BM_DecodePage/2: parsed by nlohmann-json's own parser, as the client did before: the
//    reference for /0;
//  - BM_DecodePage/3: the records made straight from the text, without the JSON tree (what a
//    query that keeps nothing in the cache does): the same work as /1.
// The difference of /1 and /0 is the value building; all per page of 100.

#include "backend/JsonDocument.hpp"
#include "backend/QueryResults.hpp"
#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/RecordClasses.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <string>

namespace {

using nlohmann::json;

std::string pageOfComponents() {
    json results = json::array();
    for (int i = 0; i < 100; ++i) {
        const auto id = "c" + std::to_string(100000 + i);
        results.push_back(
            {{"objectId", id},
             {"catalog", {{"__type", "Pointer"}, {"className", "Catalog"}, {"objectId", "k0Ab12Cd34"}}},
             {"name", "Bench component " + std::to_string(i)},
             {"productNumber", "B-" + std::to_string(i)},
             {"price", 10.5},
             {"rank", i},
             {"scnModelFilePath", "bench/" + std::to_string(i) + ".zip"},
             {"snappingAreas",
              {{{"connectToComponentId", "x"}, {"offsetPosition", "1,0,0"}, {"offsetRotation", "0,0,0,1"}}}},
             {"nodesToTags", {{{"nodeName", "seat"}, {"tag", "fabric"}}}},
             {"createdAt", "2026-12-07T10:00:00.123Z"},
             {"updatedAt", "2026-12-07T10:00:00.123Z"},
             {"ACL", {{"*", {{"read", true}}}}}});
    }
    return json{{"results", results}}.dump();
}

void BM_DecodePage(benchmark::State& state) {
    vantrel::registerRecordClasses();
    const std::string text = pageOfComponents();
    const bool objects = state.range(0) == 1;
    const bool general = state.range(0) == 2;
    if (state.range(0) == 3) {
        for (auto _ : state) {
            auto records = vantrel::backend_detail::decodeQueryResults(text, "Component");
            if (!records || records->size() != 100) return state.SkipWithError("the page did not decode");
            benchmark::DoNotOptimize(records);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
        return;
    }
    for (auto _ : state) {
        auto body = general ? json::parse(text, nullptr, false) : vantrel::backend_detail::parseJsonDocument(text);
        if (objects) {
            for (const auto& result : body["results"]) {
                auto object = vantrel::ParseObject::fromJSON(result, "Component");
                benchmark::DoNotOptimize(object);
            }
        }
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodePage)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
