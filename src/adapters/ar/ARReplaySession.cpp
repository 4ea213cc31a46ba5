#include "vantrel/adapters/ARReplaySession.hpp"

#include <fstream>
#include <stdexcept>

#include "adapters/ar/SessionFormat.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel {

Expected<std::shared_ptr<ARReplaySession>> ARReplaySession::open(const std::filesystem::path& directory,
                                                                 std::shared_ptr<Clock> clock) {
    const auto file = directory / detail::kSessionFile;
    std::ifstream in(file, std::ios::binary);
    if (!in) return makeError(ARSessionErrorCode::fileUnreadable, "cannot read " + file.string());
    std::vector<Step> steps;
    try {
        const auto document = nlohmann::json::parse(in);
        if (document.value("format", std::string()) != detail::kSessionFormat ||
            document.value("version", 0) != detail::kSessionFormatVersion) {
            throw std::invalid_argument("not a recorded session of version " +
                                        std::to_string(detail::kSessionFormatVersion));
        }
        for (const auto& entry : document.at("frames")) {
            Step step;
            step.frame = detail::frameFromJson(entry, directory);
            if (!steps.empty() && step.frame->timestamp < steps.back().frame->timestamp) {
                throw std::invalid_argument("frame times go backwards");
            }
            for (const auto& anchor : entry.value("addedAnchors", nlohmann::json::array())) {
                step.added.push_back(detail::anchorFromJson(anchor));
            }
            for (const auto& anchor : entry.value("updatedAnchors", nlohmann::json::array())) {
                step.updated.push_back(detail::anchorFromJson(anchor));
            }
            for (const auto& identifier : entry.value("removedAnchors", nlohmann::json::array())) {
                step.removed.push_back(identifier.get<std::string>());
            }
            steps.push_back(std::move(step));
        }
    } catch (const std::exception& failure) {
        return makeError(ARSessionErrorCode::fileMalformed, file.string() + ": " + failure.what());
    }
    return std::make_shared<ARReplaySession>(std::move(steps), clock != nullptr ? std::move(clock) : Clock::current());
}

ARReplaySession::ARReplaySession(std::vector<Step> steps, std::shared_ptr<Clock> clock)
    : frames_(std::move(steps)), clock_(std::move(clock)) {}

void ARReplaySession::didRun(ARSessionRunOptions options) {
    if (contains(options, ARSessionRunOptions::resetTracking)) next_ = 0;
    // Frame times count from the run, as if the recording had been running since its first frame;
    // after a pause, from the last frame played.
    const double played = next_ > 0 ? frames_[next_ - 1].frame->timestamp - frames_.front().frame->timestamp : 0.0;
    runStart_ =
        clock_->now() - std::chrono::duration_cast<Clock::TimePoint::duration>(std::chrono::duration<double>(played));
}

void ARReplaySession::didPause() {}

double ARReplaySession::elapsedSeconds() const {
    return std::chrono::duration<double>(clock_->now() - runStart_).count();
}

bool ARReplaySession::advance() {
    if (!isRunning() || next_ >= frames_.size()) return false;
    const Step& step = frames_[next_++];
    // Fresh anchor objects each time, so that a replay after a reset does not share them.
    std::vector<std::shared_ptr<ARAnchor>> added;
    for (const auto& anchor : step.added) {
        if (const auto* plane = dynamic_cast<const ARPlaneAnchor*>(anchor.get())) {
            added.push_back(std::make_shared<ARPlaneAnchor>(*plane));
        } else {
            added.push_back(std::make_shared<ARAnchor>(*anchor));
        }
    }
    deliverAddedAnchors(added);
    std::vector<std::shared_ptr<ARAnchor>> updated;
    for (const auto& change : step.updated) {
        for (const auto& known : anchors()) {
            if (known->identifier() != change->identifier()) continue;
            known->setTransform(change->transform());
            auto* plane = dynamic_cast<ARPlaneAnchor*>(known.get());
            const auto* newPlane = dynamic_cast<const ARPlaneAnchor*>(change.get());
            if (plane != nullptr && newPlane != nullptr) {
                plane->setGeometry(newPlane->alignment(), newPlane->center(), newPlane->extent());
            }
            updated.push_back(known);
        }
    }
    deliverUpdatedAnchors(updated);
    deliverRemovedAnchors(step.removed);
    deliverFrame(std::make_shared<ARFrame>(*step.frame));
    return true;
}

std::size_t ARReplaySession::update() {
    std::size_t played = 0;
    if (!isRunning() || frames_.empty()) return played;
    const double now = elapsedSeconds();
    while (next_ < frames_.size() && frames_[next_].frame->timestamp - frames_.front().frame->timestamp <= now) {
        if (!advance()) break;
        ++played;
    }
    return played;
}

}  // namespace vantrel
