#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vantrel/adapters/ARHitTestResult.hpp"
#include "vantrel/adapters/ARSession.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel {

class ARSCNView;
class SCNLight;

/// Hears what an AR view does with its session's findings. Every callback has an empty default and
/// runs on the thread that drives the session (normally the main thread), within the view's
/// handling of one session step: the anchor callbacks first, then `rendererUpdateAtTime`.
class ARSCNViewDelegate {
public:
    virtual ~ARSCNViewDelegate() = default;
    /// A node was made for a new anchor and added to the scene's root.
    virtual void rendererDidAddNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                                    const std::shared_ptr<ARAnchor>& anchor);
    /// An anchor changed; its node has the anchor's new transform.
    virtual void rendererDidUpdateNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                                       const std::shared_ptr<ARAnchor>& anchor);
    /// An anchor was removed; its node was taken out of the scene.
    virtual void rendererDidRemoveNode(ARSCNView& view, const std::shared_ptr<SCNNode>& node,
                                       const std::shared_ptr<ARAnchor>& anchor);
    /// A new frame was applied to the view (camera and lighting updated); `time` is its timestamp.
    virtual void rendererUpdateAtTime(ARSCNView& view, double time);
    /// The session failed.
    virtual void sessionDidFailWithError(ARSession& session, const Error& error);
    /// The camera's tracking state changed.
    virtual void sessionCameraDidChangeTrackingState(ARSession& session, const ARCamera& camera);
};

/// A scene view that shows its scene over the camera picture of an AR session.
///
/// For every frame of its session the view looks through the frame's camera (the point of view
/// takes the camera's pose, its `SCNCamera` the projection made from the intrinsics for the view's
/// bounds), keeps one node per anchor under the scene's root (made, moved and removed with the
/// anchor), updates its light from the estimate when `automaticallyUpdatesLighting` is on, and tells
/// its delegate. `snapshot` draws the scene over the frame's picture, which fills the view keeping
/// its aspect (see `ARCamera`).
///
/// Reference type, not copyable. Holds its session strongly and its delegate weakly. A new view
/// has an empty scene.
/// **Threads.** Use the view and drive its session on one thread (normally the main thread).
class ARSCNView : public SCNView {
public:
    /// A view of `frame` drawing through `context` (offscreen when nullptr), with an empty scene.
    explicit ARSCNView(const CGRect& frame = CGRect(0, 0, 320, 240), std::unique_ptr<RenderContext> context = nullptr);
    ~ARSCNView();
    ARSCNView(const ARSCNView&) = delete;
    ARSCNView& operator=(const ARSCNView&) = delete;

    /// The session shown, or nullptr.
    [[nodiscard]] const std::shared_ptr<ARSession>& session() const noexcept { return session_; }
    /// Shows `session` (nullptr: none). The nodes of the previous session's anchors are removed.
    void setSession(std::shared_ptr<ARSession> session);

    /// The delegate, or nullptr.
    [[nodiscard]] std::shared_ptr<ARSCNViewDelegate> delegate() const { return delegate_.lock(); }
    /// Sets the delegate (held weakly).
    void setDelegate(const std::shared_ptr<ARSCNViewDelegate>& delegate) { delegate_ = delegate; }

    /// True (the default) when the view lights the scene with an ambient light following the
    /// frame's light estimate.
    [[nodiscard]] bool automaticallyUpdatesLighting() const noexcept { return automaticallyUpdatesLighting_; }
    /// Switches the estimated light on or off (off removes the view's light).
    void setAutomaticallyUpdatesLighting(bool updates);

    using SCNView::hitTest;
    /// Surfaces of the kinds in `types` under the view point `point`, nearest first, from the current
    /// frame (`ARHitTestResult::hitTest`); empty before the first frame.
    [[nodiscard]] std::vector<ARHitTestResult> hitTest(const CGPoint& point, ARHitTestResultType types) const;

    /// The node shown for `anchor`, or nullptr.
    [[nodiscard]] std::shared_ptr<SCNNode> nodeForAnchor(const ARAnchor& anchor) const;
    /// The anchor a node stands for, or nullptr.
    [[nodiscard]] std::shared_ptr<ARAnchor> anchorForNode(const SCNNode& node) const;

    /// Draws the scene over the current frame's picture (the view's background colour when there is
    /// none) and returns it (rows from the top, RGBA, sRGB, opaque).
    [[nodiscard]] Expected<std::shared_ptr<UIImage>> snapshot();
    /// Draws as `snapshot` and writes the picture to `path` as PNG.
    [[nodiscard]] std::optional<Error> writeSnapshot(const std::filesystem::path& path);

private:
    class SessionBridge;
    friend class SessionBridge;

    void apply(const std::shared_ptr<ARFrame>& frame);
    void addAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    void updateAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    void removeAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    void removeAllAnchorNodes();

    std::shared_ptr<ARSession> session_;
    std::shared_ptr<SessionBridge> bridge_;
    std::weak_ptr<ARSCNViewDelegate> delegate_;
    std::shared_ptr<SCNNode> cameraNode_;
    std::shared_ptr<SCNNode> lightNode_;
    bool automaticallyUpdatesLighting_ = true;
    std::map<std::string, std::pair<std::shared_ptr<ARAnchor>, std::shared_ptr<SCNNode>>> anchorNodes_;
};

}  // namespace vantrel

#pragma GCC visibility pop
