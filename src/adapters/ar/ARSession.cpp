#include "vantrel/adapters/ARSession.hpp"

#include <algorithm>

namespace vantrel {

void ARSessionObserver::session(ARSession&, const std::shared_ptr<ARFrame>&) {}
void ARSessionObserver::sessionDidAddAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>&) {}
void ARSessionObserver::sessionDidUpdateAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>&) {}
void ARSessionObserver::sessionDidRemoveAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>&) {}
void ARSessionObserver::sessionDidFailWithError(ARSession&, const Error&) {}
void ARSessionObserver::sessionCameraDidChangeTrackingState(ARSession&, const ARCamera&) {}

template <class Call>
void ARSession::notify(Call&& call) {
    // Copy first: an observer may add or remove observers while it is called.
    std::vector<std::shared_ptr<ARSessionObserver>> live;
    std::erase_if(observers_, [](const std::weak_ptr<ARSessionObserver>& o) { return o.expired(); });
    for (const auto& weak : observers_) {
        if (auto observer = weak.lock()) live.push_back(std::move(observer));
    }
    for (const auto& observer : live) call(*observer);
}

void ARSession::runWithConfiguration(const ARWorldTrackingConfiguration& configuration, ARSessionRunOptions options) {
    configuration_ = configuration;
    if (contains(options, ARSessionRunOptions::removeExistingAnchors) && !anchors_.empty()) {
        std::vector<std::string> identifiers;
        for (const auto& anchor : anchors_) identifiers.push_back(anchor->identifier());
        deliverRemovedAnchors(identifiers);
    }
    running_ = true;
    didRun(options);
}

void ARSession::pause() {
    if (!running_) return;
    running_ = false;
    didPause();
}

void ARSession::addObserver(const std::shared_ptr<ARSessionObserver>& observer) {
    if (observer != nullptr) observers_.push_back(observer);
}

void ARSession::removeObserver(const ARSessionObserver* observer) {
    std::erase_if(observers_, [observer](const std::weak_ptr<ARSessionObserver>& o) {
        const auto locked = o.lock();
        return locked == nullptr || locked.get() == observer;
    });
}

void ARSession::deliverAddedAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    std::vector<std::shared_ptr<ARAnchor>> added;
    for (const auto& anchor : anchors) {
        if (anchor == nullptr) continue;
        const bool known = std::any_of(anchors_.begin(), anchors_.end(),
                                       [&](const auto& a) { return a->identifier() == anchor->identifier(); });
        if (!known) {
            anchors_.push_back(anchor);
            added.push_back(anchor);
        }
    }
    if (!added.empty()) notify([&](ARSessionObserver& o) { o.sessionDidAddAnchors(*this, added); });
}

void ARSession::deliverUpdatedAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    if (!anchors.empty()) notify([&](ARSessionObserver& o) { o.sessionDidUpdateAnchors(*this, anchors); });
}

void ARSession::deliverRemovedAnchors(const std::vector<std::string>& identifiers) {
    std::vector<std::shared_ptr<ARAnchor>> removed;
    for (const auto& identifier : identifiers) {
        const auto it = std::find_if(anchors_.begin(), anchors_.end(),
                                     [&](const auto& a) { return a->identifier() == identifier; });
        if (it == anchors_.end()) continue;
        removed.push_back(*it);
        anchors_.erase(it);
    }
    if (!removed.empty()) notify([&](ARSessionObserver& o) { o.sessionDidRemoveAnchors(*this, removed); });
}

void ARSession::deliverFrame(std::shared_ptr<ARFrame> frame) {
    if (frame == nullptr) return;
    frame->anchors = anchors_;
    if (!configuration_.lightEstimationEnabled) frame->lightEstimate.reset();
    const bool trackingChanged =
        currentFrame_ == nullptr || currentFrame_->camera.trackingState != frame->camera.trackingState;
    currentFrame_ = std::move(frame);
    const auto current = currentFrame_;
    if (trackingChanged) {
        notify([&](ARSessionObserver& o) { o.sessionCameraDidChangeTrackingState(*this, current->camera); });
    }
    notify([&](ARSessionObserver& o) { o.session(*this, current); });
}

void ARSession::reportFailure(const Error& error) {
    running_ = false;
    notify([&](ARSessionObserver& o) { o.sessionDidFailWithError(*this, error); });
}

Error ARSession::makeError(ARSessionErrorCode code, std::string message) {
    return Error(errorDomain, static_cast<long>(code), std::move(message));
}

}  // namespace vantrel
