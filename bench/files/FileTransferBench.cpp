// Downloading a large file into the local cache, beside the curl command-line tool fetching the
// same signed URL in the same run (reference backend needed: scripts/backend.sh start).
//
//  - BM_DownloadIntoTheCache/<MB>: `obtainFileFromLocalCache` of a file of that size, from the
//    request of its signed URL to the block on the main queue. Counters: ours_ms (median),
//    curl_ms (median of `curl -o <file>` on a signed URL of the same key, the process start
//    included), ratio = ours / curl (goal <= 1.1), peak_gain_mb (what the process's peak resident
//    size gained over the resident size before the runs; goal: flat in the file size).

#include "support/BenchBackend.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;
using vantrel_bench::peakResidentBytes;
using vantrel_bench::percentile;
using vantrel_bench::restartResidentPeak;

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::optional<std::string> signedUrlOf(const std::string& key) {
    vantrel_bench::Slot<std::string> url;
    vantrel::ParseCloud::callFunctionInBackground("getSignedUrlToDownloadByKey", {{"file_key", key}},
                                                  [&url](json result, vantrel::OptionalError error) {
                                                      url.set(error ? std::string() : result.value("signedUrl", ""));
                                                  });
    auto text = url.take(std::chrono::seconds(30));
    if (!text || text->empty()) return std::nullopt;
    return text;
}

void BM_DownloadIntoTheCache(benchmark::State& state) {
    const auto backend = vantrel_bench::loadBackend();
    if (!backend) return state.SkipWithError("no reference backend: scripts/backend.sh start");
    const auto megabytes = state.range(0);
    const auto tag = "bench-files-" + std::to_string(::getpid()) + "-" + std::to_string(megabytes);
    const json fixture = {{"description", "file transfer benchmark"},
                          {"records",
                           {{{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Bench " + tag}}}},
                            {{"alias", "manager"},
                             {"className", "_User"},
                             {"username", tag + "@bench.invalid"},
                             {"password", "bench-pass-1"},
                             {"roles", {"ROLE_COMPANY_MANAGER"}},
                             {"login", true},
                             {"fields", {{"company", {{"$ref", "company"}}}}}}}}};
    const auto seeded = vantrel_bench::runNode({"backend/tools/seed.mjs", "apply", "-"}, fixture.dump());
    if (!seeded) return state.SkipWithError("seeding failed");
    const std::string token = json::parse(*seeded, nullptr, false)["manager"].value("sessionToken", "");

    const auto scratch = std::filesystem::temp_directory_path() / tag;
    std::filesystem::create_directories(scratch);
    const auto source = scratch / "source.bin";
    {
        std::ofstream out(source, std::ios::binary);
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 2654435761u) >> 13);
        for (int i = 0; i < megabytes; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const std::string key = tag + "/file.bin";
    if (!vantrel_bench::runNode({"backend/tools/seed.mjs", "upload", key, source.string()}))
        return state.SkipWithError("uploading the file failed");
    std::filesystem::remove(source);

    vantrel_bench::configure(*backend);
    if (!vantrel::ParseUser::become(token)) return state.SkipWithError("the benchmark session is not valid");
    auto& service = vantrel::DownloadingService::sharedInstance();
    service.setLocalCacheHome(scratch / "cache");

    const auto download = [&]() -> bool {
        service.removeFromLocalCache(key);
        bool done = false, ok = false;
        service.obtainFileFromLocalCache(key, true,
                                         [&](std::optional<std::filesystem::path> file, vantrel::OptionalError error) {
                                             done = true;
                                             ok = file && !error;
                                         });
        return vantrel::MainRunLoop::runUntil([&] { return done; }, std::chrono::minutes(5)) && ok;
    };
    const auto curl = [&]() -> bool {
        const auto url = signedUrlOf(key);
        if (!url) return false;
        const auto command = "curl -sS --fail --cacert " + shellQuote(backend->caFile) + " -o " +
                             shellQuote((scratch / "curl.bin").string()) + " " + shellQuote(*url);
        return std::system(command.c_str()) == 0;
    };
    download();  // warm-up: connections, the server's file cache
    curl();

    const auto peakBefore = restartResidentPeak();
    std::vector<double> ours, theirs;
    for (auto _ : state) {
        auto start = Clock::now();
        if (!download()) return state.SkipWithError("our download failed");
        ours.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        if (!curl()) return state.SkipWithError("curl failed");
        theirs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double oursMs = percentile(ours, 50), curlMs = percentile(theirs, 50);
    state.counters["ours_ms"] = oursMs;
    state.counters["curl_ms"] = curlMs;
    state.counters["ratio"] = curlMs > 0 ? oursMs / curlMs : 0;
    state.counters["peak_gain_mb"] = static_cast<double>(peakResidentBytes() - peakBefore) / (1 << 20);
    vantrel::ParseUser::logOut();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}
BENCHMARK(BM_DownloadIntoTheCache)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
