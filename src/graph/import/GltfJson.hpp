#pragma once

// Pieces every part of the glTF reader shares: typed failures, careful access to the untrusted
// JSON, and the status handler with its stop flag.

#include "vantrel/core/Error.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vantrel::detail {

/// Ends a glTF read: thrown inside the reader only and turned into its Error at the reader's
/// boundary, so that deep checks need not thread a result through every call.
struct GltfFailure {
    Error error;
};

/// Throws the failure of `code` with `message`.
[[noreturn]] void failGltf(SCNSceneSourceError code, const std::string& message);
/// Throws `invalidScene` with `message`.
[[noreturn]] void invalidGltf(const std::string& message);

/// Member `key` of `object`, or nullptr when `object` is not an object or lacks it.
const nlohmann::json* member(const nlohmann::json& object, const char* key);
/// Member `key` when it is an object, else nullptr.
const nlohmann::json* objectMember(const nlohmann::json& object, const char* key);
/// The array `key` of the document's top level (empty when missing or not an array).
const nlohmann::json& topLevelArray(const nlohmann::json& document, const char* key);
/// A number member, `fallback` when missing; a member of another type or not finite is invalid.
double numberOr(const nlohmann::json& object, const char* key, double fallback);
/// A string member, empty when missing or of another type.
std::string stringOr(const nlohmann::json& object, const char* key);
/// An index member below `limit`; nullopt when missing, invalid when negative, not an integer
/// or not below `limit`.
std::optional<std::size_t> indexOf(const nlohmann::json& object, const char* key, std::size_t limit);
/// An index member that must be there.
std::size_t requiredIndex(const nlohmann::json& object, const char* key, std::size_t limit);
/// An unsigned integer member, `fallback` when missing; invalid when negative or not an integer.
std::uint64_t unsignedOr(const nlohmann::json& object, const char* key, std::uint64_t fallback);
/// A fixed-size array of numbers, `fallback` when missing; invalid when of another size.
template <std::size_t N>
std::array<double, N> numbersOr(const nlohmann::json& object, const char* key, std::array<double, N> fallback) {
    const auto* value = member(object, key);
    if (!value) return fallback;
    if (!value->is_array() || value->size() != N) invalidGltf(std::string("'") + key + "' has the wrong size");
    std::array<double, N> result{};
    for (std::size_t i = 0; i < N; ++i) {
        const auto& item = (*value)[i];
        if (!item.is_number()) invalidGltf(std::string("'") + key + "' holds a non-number");
        result[i] = item.get<double>();
    }
    return result;
}

/// The status handler of one read with its stop flag. Long loops call `poll` per unit of work; the
/// handler is asked at most every few milliseconds, so a stop is seen within 100 ms without the
/// handler costing anything noticeable.
class GltfProgress {
public:
    explicit GltfProgress(const SCNSceneSource::StatusHandler& handler) : handler_(handler) {}

    /// Reports `fraction` (of the whole read) with `status` and ends the read when asked to stop.
    void report(double fraction, SCNSceneSourceStatus status);
    /// Counts `units` of work and, now and then, asks the handler (at the last reported fraction).
    void poll(std::uint64_t units = 1) {
        pending_ += units;
        if (pending_ >= kUnitsBetweenClockReads) pollNow();
    }
    /// Asks the handler now when enough time has passed since it was last asked.
    void pollNow();
    /// True when the handler asked to stop.
    [[nodiscard]] bool stopped() const noexcept { return stop_; }
    /// The last fraction reported.
    [[nodiscard]] double fraction() const noexcept { return fraction_; }

private:
    static constexpr std::uint64_t kUnitsBetweenClockReads = 1 << 14;
    const SCNSceneSource::StatusHandler& handler_;
    double fraction_ = 0.0;
    SCNSceneSourceStatus status_ = SCNSceneSourceStatus::parsing;
    std::uint64_t pending_ = 0;
    std::chrono::steady_clock::time_point lastAsked_ = std::chrono::steady_clock::now();
    bool stop_ = false;
};

}  // namespace vantrel::detail
