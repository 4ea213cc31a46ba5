#include <cmath>

#include "adapters/canvas/TransactionScope.hpp"
#include "vantrel/adapters/ArAdapter.hpp"
#include "vantrel/adapters/UIPanGestureRecognizer.hpp"
#include "vantrel/adapters/UIPinchGestureRecognizer.hpp"
#include "vantrel/adapters/UIRotationGestureRecognizer.hpp"
#include "vantrel/adapters/UITapGestureRecognizer.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace vantrel {
namespace {

template <class Recognizer>
UIGestureRecognizer::Action bound(const std::weak_ptr<ArAdapter>& adapter, void (ArAdapter::*handler)(Recognizer&)) {
    return [adapter, handler](UIGestureRecognizer& recognizer) {
        if (const auto self = adapter.lock()) ((*self).*handler)(static_cast<Recognizer&>(recognizer));
    };
}

// The Hamilton product a ⊗ b of quaternions stored as (x, y, z, w).
SCNQuaternion product(const SCNQuaternion& a, const SCNQuaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

}  // namespace

void ArAdapter::setGesturesEnabled(bool enabled) {
    gesturesEnabled_ = enabled;
    const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
    dispatchMain([weakSelf, enabled] {
        if (const auto self = weakSelf.lock()) self->attachGestures(enabled);
    });
}

void ArAdapter::attachGestures(bool enabled) {
    if (!panRecognizer_) {
        const std::weak_ptr<ArAdapter> weakSelf = weak_from_this();
        panRecognizer_ = std::make_shared<UIPanGestureRecognizer>(bound(weakSelf, &ArAdapter::handlePanGesture));
        pinchRecognizer_ = std::make_shared<UIPinchGestureRecognizer>(bound(weakSelf, &ArAdapter::handlePinchGesture));
        rotationRecognizer_ =
            std::make_shared<UIRotationGestureRecognizer>(bound(weakSelf, &ArAdapter::handleRotationGesture));
        singleTapRecognizer_ =
            std::make_shared<UITapGestureRecognizer>(bound(weakSelf, &ArAdapter::handleSingleTapGesture));
        doubleTapRecognizer_ =
            std::make_shared<UITapGestureRecognizer>(bound(weakSelf, &ArAdapter::handleDoubleTapGesture));
    }
    if (!dispatcher_) return;
    const std::vector<std::shared_ptr<UIGestureRecognizer>> all{panRecognizer_, pinchRecognizer_, rotationRecognizer_,
                                                                singleTapRecognizer_, doubleTapRecognizer_};
    for (const auto& recognizer : all) dispatcher_->removeGestureRecognizer(recognizer);
    if (!enabled) return;
    panRecognizer_->setMaximumNumberOfTouches(2);
    singleTapRecognizer_->setNumberOfTapsRequired(1);
    singleTapRecognizer_->setNumberOfTouchesRequired(1);
    singleTapRecognizer_->setDelaysTouchesBegan(true);
    doubleTapRecognizer_->setNumberOfTapsRequired(2);
    doubleTapRecognizer_->setNumberOfTouchesRequired(1);
    doubleTapRecognizer_->setDelaysTouchesBegan(true);
    // The single tap does not wait for the double tap, and must not stop it either: the first tap of
    // a double tap selects, the second resets or snaps.
    const std::weak_ptr<UIGestureRecognizer> doubleTap = doubleTapRecognizer_;
    singleTapRecognizer_->setSimultaneousRecognitionRule(
        [doubleTap](const UIGestureRecognizer& other) { return &other == doubleTap.lock().get(); });
    for (const auto& recognizer : all) dispatcher_->addGestureRecognizer(recognizer);
}

void ArAdapter::changeTransform(ModelNode& model, std::optional<SCNVector3> translation,
                                std::optional<SCNQuaternion> orientation) {
    if (translation) model.setPosition(model.position() + *translation);
    if (orientation) model.setOrientation(model.orientation() + *orientation);
    reportTransform(model);
}

void ArAdapter::clearModelMove() {
    modelMoveZDepth_ = 0.0f;
    modelMovePrevPosition_ = {};
    modelMoveStartPosition_.reset();
}

void ArAdapter::handlePanGesture(UIPanGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!movementEnabled_ || !view || !selectedModel_) return;
    const CGPoint location = recognizer.locationInView(view.get());
    const auto x = static_cast<float>(location.x);
    const auto y = static_cast<float>(location.y);
    switch (recognizer.state()) {
        case UIGestureRecognizerState::began:
            modelMoveZDepth_ = view->projectPoint(selectedModel_->position()).z;
            modelMovePrevPosition_ = view->unprojectPoint({x, y, modelMoveZDepth_});
            modelMoveStartPosition_ = selectedModel_->position();
            break;
        case UIGestureRecognizerState::changed: {
            const auto point = view->unprojectPoint({x, y, modelMoveZDepth_});
            const auto d = point - modelMovePrevPosition_;
            SCNVector3 delta{d.x, 0.0f, d.z};
            if (selectedModel_->isFloating()) {
                const auto touches = recognizer.numberOfTouches();
                if (touches == 2) delta = {0.0f, d.y, 0.0f};
                if (touches > 2) delta = d;
            }
            changeTransform(*selectedModel_, delta, std::nullopt);
            modelMovePrevPosition_ = point;
            break;
        }
        default:
            endModelMove();
            clearModelMove();
            break;
    }
    recognizer.setTranslation({0.0, 0.0}, view.get());
}

void ArAdapter::endModelMove() {
    const auto model = selectedModel_;
    bool snapped = false;
    if (snappingsEnabled_) {
        {
            const detail::TransactionScope transaction(animationDuration);
            snapped = docking::snapToOccupiedNode(*model, modelNodes_);
        }
        reportTransform(*model);
    }
    if (!snapped && !overlappingAllowed_ && model->isOverlapped(modelNodes_) && modelMoveStartPosition_) {
        model->setPosition(*modelMoveStartPosition_);
        reportTransform(*model);
    }
    if (snappingsEnabled_) docking::refreshSnappingNodes(modelNodes_, model.get());
}

void ArAdapter::handleRotationGesture(UIRotationGestureRecognizer& recognizer) {
    if (!rotationEnabled_ || !sceneView() || !selectedModel_) return;
    if (recognizer.state() != UIGestureRecognizerState::changed) return;
    const float half = static_cast<float>(-M_PI * recognizer.rotation()) / 2.0f;
    selectedModel_->setOrientation(
        product(selectedModel_->orientation(), {0.0f, std::sin(half), 0.0f, std::cos(half)}));
    reportTransform(*selectedModel_);
    recognizer.setRotation(0.0);
}

void ArAdapter::handlePinchGesture(UIPinchGestureRecognizer& recognizer) {
    if (!scalingEnabled_ || !sceneView() || !selectedModel_ || recognizer.numberOfTouches() != 2) return;
    selectedModel_->setScale(selectedModel_->scale() * static_cast<float>(recognizer.scale()));
    recognizer.setScale(1.0);
}

void ArAdapter::handleSingleTapGesture(UITapGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    const CGPoint location = recognizer.locationInView(view.get());
    // A tap on one of the selected model's snapping points is the first half of a double tap that
    // docks it there: selecting the point's carrier would take the points away before the second.
    if (selectedModel_ && snappingAreaByHit(location)) return;
    select(nullptr);
    if (const auto model = modelByHit(location)) select(model);
}

void ArAdapter::handleDoubleTapGesture(UITapGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    const CGPoint location = recognizer.locationInView(view.get());
    if (selectedModel_) {
        if (const auto point = snappingAreaByHit(location)) {
            const auto model = selectedModel_;
            {
                const detail::TransactionScope transaction(animationDuration);
                changeTransform(*model, point->worldPosition() - model->worldPosition(),
                                point->worldOrientation() - model->worldOrientation());
            }
            select(nullptr);
            select(model);
            return;
        }
    }
    select(nullptr);
    const auto model = modelByHit(location);
    if (!model) return;
    const auto initial = initialModelTransforms_.find(model->id());
    if (initial == initialModelTransforms_.end()) return;
    glm::mat4 reset = initial->second;
    const auto position = model->position();
    reset[3].x = position.x;
    reset[3].z = position.z;
    {
        const detail::TransactionScope transaction(animationDuration);
        model->setSimdTransform(reset);
    }
    reportTransform(*model);
}

}  // namespace vantrel
