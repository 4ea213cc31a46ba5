#include "vantrel/adapters/ARReplaySession.hpp"

#include <fstream>
#include <stdexcept>

#include "adapters/ar/SessionFormat.hpp"
#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/graph/ImageDecoding.hpp"

namespace vantrel {

Expected<std::shared_ptr<ARReplaySession>> ARReplaySession::open(const std::filesystem::path& directory,
                                                                 std::shared_ptr<Clock> clock) {
    const auto file = directory / detail::kSessionFile;
    std::ifstream in(file, std::ios::binary);
    if (!in) return makeError(ARSessionErrorCode::fileUnreadable, "cannot read " + file.string());
    std::vector<Step> steps;
    try {
        steps = detail::stepsFromJson(nlohmann::json::parse(in), directory);
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

// The frame's picture, decoded now: only the frame that plays holds pixels, so a replay of any
// length needs the memory of about one frame.
Expected<std::shared_ptr<UIImage>> ARReplaySession::picture(const Step& step) {
    if (step.image.empty()) return std::shared_ptr<UIImage>();
    const auto decoded = decodeImageFile(step.image);
    if (!decoded) {
        const auto code = decoded.error().code == static_cast<long>(ImageDecodingErrorCode::unreadable)
                              ? ARSessionErrorCode::fileUnreadable
                              : ARSessionErrorCode::fileMalformed;
        return makeError(code, step.image.string() + ": " + decoded.error().message);
    }
    const auto& image = decoded->image;
    if (image->width() != static_cast<int>(step.frame->camera.imageResolution.width) ||
        image->height() != static_cast<int>(step.frame->camera.imageResolution.height)) {
        return makeError(ARSessionErrorCode::fileMalformed, step.image.string() + " changed since the recording was opened");
    }
    return image;
}

bool ARReplaySession::advance() {
    if (!isRunning() || next_ >= frames_.size()) return false;
    const Step& step = frames_[next_];
    // A picture that does not decode ends the replay with a failure rather than showing a blank frame.
    auto image = picture(step);
    if (!image) {
        reportFailure(image.error());
        return false;
    }
    ++next_;
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
    auto frame = std::make_shared<ARFrame>(*step.frame);
    frame->capturedImage = *image;
    deliverFrame(std::move(frame));
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
