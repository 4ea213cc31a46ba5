#include "vantrel/graph/SceneClock.hpp"

#include <chrono>
#include <cmath>

namespace vantrel {
namespace {

double steadySeconds() {
    static const auto origin = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

SceneClock::Source& installedSource() {
    static SceneClock::Source source;
    return source;
}

}  // namespace

double SceneClock::now() {
    const auto& source = installedSource();
    return source ? source() : steadySeconds();
}

SceneClock::Source SceneClock::setSource(Source source) {
    Source previous = std::move(installedSource());
    installedSource() = std::move(source);
    return previous;
}

ManualSceneClock::ManualSceneClock(double startSeconds)
    : time_(std::make_shared<double>(std::isfinite(startSeconds) ? startSeconds : 0.0)) {
    previous_ = SceneClock::setSource([time = time_] { return *time; });
}

ManualSceneClock::~ManualSceneClock() { SceneClock::setSource(std::move(previous_)); }

void ManualSceneClock::advance(double seconds) {
    if (std::isfinite(seconds) && seconds > 0.0) {
        *time_ += seconds;
    }
}

}  // namespace vantrel
