#include "vantrel/adapters/ARSCNView.hpp"

#include <algorithm>

#include <stb_image_write.h>

#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "adapters/ar/ImageCompositing.hpp"

namespace vantrel {

void ARSCNViewDelegate::rendererDidAddNode(ARSCNView&, const std::shared_ptr<SCNNode>&,
                                           const std::shared_ptr<ARAnchor>&) {}
void ARSCNViewDelegate::rendererDidUpdateNode(ARSCNView&, const std::shared_ptr<SCNNode>&,
                                              const std::shared_ptr<ARAnchor>&) {}
void ARSCNViewDelegate::rendererDidRemoveNode(ARSCNView&, const std::shared_ptr<SCNNode>&,
                                              const std::shared_ptr<ARAnchor>&) {}
void ARSCNViewDelegate::rendererUpdateAtTime(ARSCNView&, double) {}
void ARSCNViewDelegate::sessionDidFailWithError(ARSession&, const Error&) {}
void ARSCNViewDelegate::sessionCameraDidChangeTrackingState(ARSession&, const ARCamera&) {}

namespace {
constexpr double kZNear = 0.001;  // metres
constexpr double kZFar = 1000.0;
}  // namespace

/// Forwards a session's findings to its view; the view clears the back pointer when it goes.
class ARSCNView::SessionBridge final : public ARSessionObserver {
public:
    explicit SessionBridge(ARSCNView* view) : view_(view) {}
    void detach() noexcept { view_ = nullptr; }

    void session(ARSession&, const std::shared_ptr<ARFrame>& frame) override {
        if (view_ != nullptr) view_->apply(frame);
    }
    void sessionDidAddAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override {
        if (view_ != nullptr) view_->addAnchors(anchors);
    }
    void sessionDidUpdateAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override {
        if (view_ != nullptr) view_->updateAnchors(anchors);
    }
    void sessionDidRemoveAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override {
        if (view_ != nullptr) view_->removeAnchors(anchors);
    }
    void sessionDidFailWithError(ARSession& session, const Error& error) override {
        if (view_ == nullptr) return;
        if (auto delegate = view_->delegate()) delegate->sessionDidFailWithError(session, error);
    }
    void sessionCameraDidChangeTrackingState(ARSession& session, const ARCamera& camera) override {
        if (view_ == nullptr) return;
        if (auto delegate = view_->delegate()) delegate->sessionCameraDidChangeTrackingState(session, camera);
    }

private:
    ARSCNView* view_;
};

ARSCNView::ARSCNView(const CGRect& frame, std::unique_ptr<RenderContext> context)
    : SCNView(frame, std::move(context)), cameraNode_(SCNNode::make()) {
    cameraNode_->setName("ARSCNView.camera");
    auto camera = SCNCamera::make();
    camera->setZNear(kZNear);
    camera->setZFar(kZFar);
    cameraNode_->setCamera(std::move(camera));
    setScene(SCNScene::make());
    setPointOfView(cameraNode_);
}

ARSCNView::~ARSCNView() { setSession(nullptr); }

void ARSCNView::setSession(std::shared_ptr<ARSession> session) {
    if (session_ != nullptr && bridge_ != nullptr) {
        bridge_->detach();
        session_->removeObserver(bridge_.get());
    }
    bridge_.reset();
    removeAllAnchorNodes();
    session_ = std::move(session);
    if (session_ == nullptr) return;
    bridge_ = std::make_shared<SessionBridge>(this);
    session_->addObserver(bridge_);
    addAnchors(session_->anchors());
}

void ARSCNView::setAutomaticallyUpdatesLighting(bool updates) {
    automaticallyUpdatesLighting_ = updates;
    if (!updates && lightNode_ != nullptr) {
        lightNode_->removeFromParentNode();
        lightNode_.reset();
    }
}

void ARSCNView::apply(const std::shared_ptr<ARFrame>& frame) {
    if (frame == nullptr || scene() == nullptr) return;
    const auto& root = scene()->rootNode();
    if (cameraNode_->parentNode() != root) root->addChildNode(cameraNode_);
    if (pointOfView() != cameraNode_) setPointOfView(cameraNode_);
    cameraNode_->setSimdWorldTransform(frame->camera.transform);
    const CGRect area = bounds();
    cameraNode_->camera()->setProjectionTransform(frame->camera.projectionMatrix(area.size, kZNear, kZFar));
    if (automaticallyUpdatesLighting_ && frame->lightEstimate) {
        if (lightNode_ == nullptr) {
            lightNode_ = SCNNode::make();
            lightNode_->setName("ARSCNView.estimatedLight");
            lightNode_->setLight(SCNLight::make(SCNLightType::ambient));
        }
        if (lightNode_->parentNode() != root) root->addChildNode(lightNode_);
        lightNode_->light()->setIntensity(frame->lightEstimate->ambientIntensity);
    }
    setNeedsDisplay();
    if (auto listener = delegate()) listener->rendererUpdateAtTime(*this, frame->timestamp);
}

void ARSCNView::addAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    if (scene() == nullptr) return;
    for (const auto& anchor : anchors) {
        if (anchorNodes_.contains(anchor->identifier())) continue;
        auto node = SCNNode::make();
        node->setName("ARAnchor." + anchor->identifier());
        scene()->rootNode()->addChildNode(node);
        node->setSimdWorldTransform(anchor->transform());
        anchorNodes_[anchor->identifier()] = {anchor, node};
        if (auto listener = delegate()) listener->rendererDidAddNode(*this, node, anchor);
    }
}

void ARSCNView::updateAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    for (const auto& anchor : anchors) {
        const auto it = anchorNodes_.find(anchor->identifier());
        if (it == anchorNodes_.end()) continue;
        it->second.first = anchor;
        const auto node = it->second.second;
        node->setSimdWorldTransform(anchor->transform());
        if (auto listener = delegate()) listener->rendererDidUpdateNode(*this, node, anchor);
    }
}

void ARSCNView::removeAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    for (const auto& anchor : anchors) {
        const auto it = anchorNodes_.find(anchor->identifier());
        if (it == anchorNodes_.end()) continue;
        const auto node = it->second.second;
        anchorNodes_.erase(it);
        node->removeFromParentNode();
        if (auto listener = delegate()) listener->rendererDidRemoveNode(*this, node, anchor);
    }
}

void ARSCNView::removeAllAnchorNodes() {
    std::vector<std::shared_ptr<ARAnchor>> all;
    for (const auto& [identifier, entry] : anchorNodes_) all.push_back(entry.first);
    removeAnchors(all);
}

std::vector<ARHitTestResult> ARSCNView::hitTest(const CGPoint& point, ARHitTestResultType types) const {
    if (session_ == nullptr || session_->currentFrame() == nullptr) return {};
    return ARHitTestResult::hitTest(*session_->currentFrame(), point, bounds().size, types);
}

std::shared_ptr<SCNNode> ARSCNView::nodeForAnchor(const ARAnchor& anchor) const {
    const auto it = anchorNodes_.find(anchor.identifier());
    return it == anchorNodes_.end() ? nullptr : it->second.second;
}

std::shared_ptr<ARAnchor> ARSCNView::anchorForNode(const SCNNode& node) const {
    for (const auto& [identifier, entry] : anchorNodes_) {
        if (entry.second.get() == &node) return entry.first;
    }
    return nullptr;
}

Expected<std::shared_ptr<UIImage>> ARSCNView::snapshot() {
    const UIColor background = backgroundColor();
    setBackgroundColor(UIColor::clearColor());
    auto picture = SCNView::snapshot();
    setBackgroundColor(background);
    if (!picture) return picture;
    const auto frame = session_ != nullptr ? session_->currentFrame() : nullptr;
    const CGSize size = bounds().size;
    auto under = frame != nullptr && frame->capturedImage != nullptr
                     ? detail::fillImage(*frame->capturedImage, size)
                     : UIImage::filled(background, static_cast<int>(size.width), static_cast<int>(size.height));
    return detail::compositeOver(**picture, *under);
}

std::optional<Error> ARSCNView::writeSnapshot(const std::filesystem::path& path) {
    const auto picture = snapshot();
    if (!picture) return picture.error();
    return detail::writePng(**picture, path);
}

}  // namespace vantrel
