#pragma once

// What the benchmarks against the reference backend share: its settings from backend.env, the
// repository's Node tools (seed, JavaScript peers), the backend client's configuration, bounded
// waits across threads and percentiles.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantrel_bench {

/// The running reference backend.
struct Backend {
    std::string server, applicationId, clientKey, masterKey, caFile;
};

/// `${VANTREL_BACKEND_STATE:-/var/tmp/vantrel-backend}`.
std::filesystem::path stateDirectory();
/// backend.env of the running backend; none when it was never started.
std::optional<Backend> loadBackend();
/// Runs `node <arguments>` in the repository root with backend.env's variables and `input` on
/// its standard input; its standard output, or none when it failed.
std::optional<std::string> runNode(const std::vector<std::string>& arguments, const std::string& input = {});
/// Configures the backend client for `backend` (session kept in a temporary directory).
void configure(const Backend& backend);
/// Peak resident size of this process in bytes (VmHWM of /proc/self/status).
std::int64_t peakResidentBytes();
/// Resident size now (VmRSS), after making it the peak again (/proc/self/clear_refs): what a
/// later `peakResidentBytes()` gained since is the work in between.
std::int64_t restartResidentPeak();
/// The `p`th percentile (0 to 100) of `values`; 0 for none.
double percentile(std::vector<double> values, double p);

/// A bounded wait for one value from another thread.
template <class T>
struct Slot {
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<T> value;
    void set(T v) {
        std::lock_guard lock(mutex);
        value = std::move(v);
        ready.notify_all();
    }
    std::optional<T> take(std::chrono::seconds timeout) {
        std::unique_lock lock(mutex);
        ready.wait_for(lock, timeout, [&] { return value.has_value(); });
        auto out = std::move(value);
        value.reset();
        return out;
    }
};

}  // namespace vantrel_bench
