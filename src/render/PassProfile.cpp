#include "render/PassProfile.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::detail {
namespace {

bool enabled() {
    static const bool on = std::getenv("VANTREL_RENDER_PROFILE") != nullptr;
    return on;
}

// The CPU time of the whole process, the rasteriser's threads included.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall and CPU milliseconds by pass over the frames since the last report.
std::vector<std::pair<std::string, std::pair<double, double>>>& sums() {
    static std::vector<std::pair<std::string, std::pair<double, double>>> totals;
    return totals;
}

int& frames() {
    static int count = 0;
    return count;
}

void report() {
    auto& totals = sums();
    std::string line = "frame profile (ms wall/cpu):";
    for (const auto& [name, sum] : totals) {
        char figure[96];
        std::snprintf(figure, sizeof figure, " %s %.2f/%.2f", name.c_str(), sum.first / 10.0, sum.second / 10.0);
        line += figure;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    totals.clear();
}

}  // namespace

PassProfile::PassProfile(const GlFunctions& gl) : gl_(gl) {
    if (enabled()) {
        gl_.Finish();
        last_ = std::chrono::steady_clock::now();
        lastCpu_ = cpuMs();
    }
}

PassProfile::~PassProfile() {
    if (!enabled()) return;
    mark("end");
    if (++frames() % 10 == 0) {
        report();
    }
}

void PassProfile::mark(const char* name) {
    if (!enabled()) return;
    gl_.Finish();
    const auto now = std::chrono::steady_clock::now();
    auto& totals = sums();
    auto it = std::find_if(totals.begin(), totals.end(), [&](const auto& entry) { return entry.first == name; });
    if (it == totals.end()) {
        totals.emplace_back(name, std::pair<double, double>{});
        it = std::prev(totals.end());
    }
    const double cpu = cpuMs();
    it->second.first += std::chrono::duration<double, std::milli>(now - last_).count();
    it->second.second += cpu - lastCpu_;
    last_ = now;
    lastCpu_ = cpu;
}

}  // namespace vantrel::detail
