#include <cmath>

#include "vantrel/adapters/CanvasAdapter.hpp"

#include "TransactionScope.hpp"
#include "vantrel/adapters/UILongPressGestureRecognizer.hpp"
#include "vantrel/adapters/UIPanGestureRecognizer.hpp"
#include "vantrel/adapters/UIPinchGestureRecognizer.hpp"
#include "vantrel/adapters/UIRotationGestureRecognizer.hpp"
#include "vantrel/adapters/UITapGestureRecognizer.hpp"
#include "vantrel/adapters/UITouchDispatcher.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/render/SCNView.hpp"
#include "vantrel/scene/Docking.hpp"
#include "vantrel/scene/SnappingNode.hpp"

namespace vantrel {
namespace {

// A recognizer's action bound to one of the adapter's handlers, holding the adapter weakly.
template <class Recognizer>
UIGestureRecognizer::Action bound(const std::weak_ptr<CanvasAdapter>& adapter,
                                  void (CanvasAdapter::*handler)(Recognizer&)) {
    return [adapter, handler](UIGestureRecognizer& recognizer) {
        if (const auto self = adapter.lock()) ((*self).*handler)(static_cast<Recognizer&>(recognizer));
    };
}

SCNVector3 unprojected(const SCNView& view, CGPoint location, float depth) {
    return view.unprojectPoint({static_cast<float>(location.x), static_cast<float>(location.y), depth});
}

CGPoint negated(CGPoint point) { return {-point.x, -point.y}; }

}  // namespace

void CanvasAdapter::makeTouchDispatcher(const std::shared_ptr<SCNView>& view) {
    dispatcher_ = std::make_shared<UITouchDispatcher>(view);
}

void CanvasAdapter::setGesturesEnabled(bool enabled) {
    gesturesEnabled_ = enabled;
    const std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
    dispatchMain([weakSelf, enabled] {
        if (const auto self = weakSelf.lock()) self->attachGestures(enabled);
    });
}

void CanvasAdapter::attachGestures(bool enabled) {
    if (!panRecognizer_) {
        const std::weak_ptr<CanvasAdapter> weakSelf = weak_from_this();
        panRecognizer_ = std::make_shared<UIPanGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handlePanGesture));
        pinchRecognizer_ =
            std::make_shared<UIPinchGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handlePinchGesture));
        rotationRecognizer_ =
            std::make_shared<UIRotationGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handleRotationGesture));
        singleTapRecognizer_ =
            std::make_shared<UITapGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handleSingleTapGesture));
        doubleTapRecognizer_ =
            std::make_shared<UITapGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handleDoubleTapGesture));
        longPressRecognizer_ =
            std::make_shared<UILongPressGestureRecognizer>(bound(weakSelf, &CanvasAdapter::handleLongPressGesture));
    }
    if (!dispatcher_) return;
    const std::vector<std::shared_ptr<UIGestureRecognizer>> all{panRecognizer_,       pinchRecognizer_,
                                                                rotationRecognizer_,  singleTapRecognizer_,
                                                                doubleTapRecognizer_, longPressRecognizer_};
    for (const auto& recognizer : all) dispatcher_->removeGestureRecognizer(recognizer);
    if (!enabled) return;
    panRecognizer_->setMaximumNumberOfTouches(2);
    singleTapRecognizer_->setNumberOfTapsRequired(1);
    doubleTapRecognizer_->setNumberOfTapsRequired(2);
    singleTapRecognizer_->requireGestureRecognizerToFail(doubleTapRecognizer_);
    singleTapRecognizer_->setDelaysTouchesBegan(true);
    doubleTapRecognizer_->setDelaysTouchesBegan(true);
    for (const auto& recognizer : all) dispatcher_->addGestureRecognizer(recognizer);
}

void CanvasAdapter::clearGestureAction() {
    gestureAction_.reset();
    modelMoveZDepth_ = 0.0f;
    cameraMoveZDepth_ = 0.0f;
    modelMovePrevPosition_ = {};
    cameraMovePrevPosition_ = {};
    modelMoveStartPosition_.reset();
}

void CanvasAdapter::handlePanGesture(UIPanGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    if (gestureAction_ == GestureAction::cameraZoom || gestureAction_ == GestureAction::modelRotateZ) return;
    const auto touches = recognizer.numberOfTouches();
    const CGPoint location = recognizer.locationInView(view.get());
    const CGPoint translation = recognizer.translationInView(view.get());
    const auto x = static_cast<float>(location.x);
    const auto y = static_cast<float>(location.y);
    bool changed = true;
    switch (recognizer.state()) {
        case UIGestureRecognizerState::began:
            if (touches == 2) {
                if (cameraControlEnabled_) {
                    gestureAction_ = GestureAction::cameraRotate;
                } else {
                    changed = false;
                }
            } else if (touches == 1 && selectedModel_) {
                gestureAction_ = GestureAction::modelMove;
                modelMoveZDepth_ = view->projectPoint(selectedModel_->position()).z;
                modelMovePrevPosition_ = view->unprojectPoint({x, y, modelMoveZDepth_});
                modelMoveStartPosition_ = selectedModel_->position();
                moveLastLocation_ = location;
            } else if (touches == 1) {
                if (cameraControlEnabled_) {
                    gestureAction_ = GestureAction::cameraMove;
                    cameraMoveZDepth_ = view->projectPoint(cameraNode_->position()).z;
                    cameraMovePrevPosition_ = view->unprojectPoint({-x, -y, cameraMoveZDepth_});
                    moveLastLocation_ = location;
                } else {
                    changed = false;
                }
            } else {
                gestureAction_.reset();
            }
            break;
        case UIGestureRecognizerState::changed:
            if (gestureAction_ == GestureAction::cameraRotate) {
                const auto bounds = view->bounds();
                cameraNode_->rotate(static_cast<float>(translation.y / bounds.size.height),
                                    static_cast<float>(translation.x / bounds.size.width));
            } else if (gestureAction_ == GestureAction::cameraMove) {
                // Depths are re-read every step: the camera's depth range follows the scene, so a
                // depth kept from the start would no longer lie on the plane the move began in.
                cameraMoveZDepth_ = view->projectPoint(cameraNode_->position()).z;
                const auto previous = unprojected(*view, negated(moveLastLocation_), cameraMoveZDepth_);
                const auto point = view->unprojectPoint({-x, -y, cameraMoveZDepth_});
                cameraNode_->moveCenter(cameraNode_->position() + (point - previous) * 0.5f);
                cameraMovePrevPosition_ = point;
                moveLastLocation_ = location;
            } else if (gestureAction_ == GestureAction::modelMove && selectedModel_) {
                modelMoveZDepth_ = view->projectPoint(modelMoveStartPosition_.value_or(selectedModel_->position())).z;
                const auto previous = unprojected(*view, moveLastLocation_, modelMoveZDepth_);
                const auto point = view->unprojectPoint({x, y, modelMoveZDepth_});
                setModelTransform(selectedModel_, selectedModel_->position() + (point - previous), std::nullopt, false);
                modelMovePrevPosition_ = point;
                moveLastLocation_ = location;
            } else {
                changed = false;
            }
            break;
        default:
            if (gestureAction_ == GestureAction::modelMove) {
                if (!selectedModel_) {
                    changed = false;
                    break;
                }
                endModelMove();
            }
            clearGestureAction();
            break;
    }
    if (changed) recognizer.setTranslation({0.0, 0.0}, view.get());
}

void CanvasAdapter::endModelMove() {
    const auto model = selectedModel_;
    bool snapped = false;
    if (snappingsEnabled_) {
        snapped = docking::snapToOccupiedNode(*model, modelNodes_);
        if (groundEnabled_) groundFit(*model, snapped);
        reportTransform(*model);
    }
    if (!snapped && !overlappingAllowed_ && model->isOverlapped(modelNodes_) && modelMoveStartPosition_) {
        setModelTransform(model, *modelMoveStartPosition_, std::nullopt, false);
    }
    if (snappingsEnabled_) docking::refreshSnappingNodes(modelNodes_, model.get());
}

void CanvasAdapter::handlePinchGesture(UIPinchGestureRecognizer& recognizer) {
    if (!sceneView()) return;
    clearGestureAction();
    if (cameraControlEnabled_ && recognizer.numberOfTouches() == 2) {
        cameraNode_->zoom(recognizer.scale());
        recognizer.setScale(1.0);
    }
}

void CanvasAdapter::handleRotationGesture(UIRotationGestureRecognizer&) {}

void CanvasAdapter::handleSingleTapGesture(UITapGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    clearGestureAction();
    if (!modelSelectionEnabled_) return;
    select(nullptr);
    if (const auto model = modelByHit(recognizer.locationInView(view.get()))) select(model);
}

void CanvasAdapter::handleDoubleTapGesture(UITapGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    clearGestureAction();
    const CGPoint location = recognizer.locationInView(view.get());
    if (snappingsEnabled_ && selectedModel_) {
        if (const auto point = snappingAreaByHit(location)) {
            // Docked in world space: the point's place and turn become the model's whatever its
            // parent, and a quaternion's sign cannot spoil the turn.
            const auto model = selectedModel_;
            if (docking::snapToTappedNode(*model, *point)) {
                setModelTransform(model, std::nullopt, std::nullopt, true);
                select(nullptr);
                select(model);
            }
            return;
        }
    }
    select(nullptr);
    if (const auto model = modelByHit(location)) {
        if (modelSelectionEnabled_) select(model);
        const detail::TransactionScope transaction(animationDuration);
        const auto parent = cameraNode_->parentNode();
        cameraNode_->moveCenter(model->convertPosition({}, parent.get()));
    } else {
        focusToCenter(true, resetCameraOnFocus_, resetCameraOnFocus_);
    }
}

void CanvasAdapter::handleLongPressGesture(UILongPressGestureRecognizer& recognizer) {
    const auto view = sceneView();
    if (!view) return;
    clearGestureAction();
    if (recognizer.state() == UIGestureRecognizerState::ended) return;
    const auto model = modelByHit(recognizer.locationInView(view.get()));
    if (!model) {
        if (const auto delegate = managementDelegate()) delegate->onEmptySpaceLongPressed();
    } else if (modelSelectionEnabled_) {
        select(model);
    }
}

}  // namespace vantrel
