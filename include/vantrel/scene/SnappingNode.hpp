#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <vector>

#include "vantrel/graph/SCNBoundingVolume.hpp"
#include "vantrel/graph/SCNNode.hpp"

namespace vantrel {

class ModelNode;
class SnappingObstacles;

/// A place on one model (the carrier, `connectToModel`) where another model (the `snappingModel`, the
/// selected one) would dock, shown as a half-transparent preview of that model standing there.
///
/// The point is a child of its carrier; its position and orientation are those of the snapping area
/// it was made from, in the carrier's coordinates, and its children are the preview, so that its
/// bounding volume is that of the docked model. `docking::buildSnappingNodes` (in
/// `vantrel/scene/Docking.hpp`) builds points; the adapters show them while a model is selected.
///
/// Both references are weak: the carrier owns the point, and a point must not keep a removed model
/// alive. A reference whose model has gone reads as absent.
///
/// Like all nodes it belongs to the main thread.
class SnappingNode : public SCNNode {
public:
    /// Opacity of the preview of the docked model.
    static constexpr double previewOpacity = 0.5;

    /// A point without snapping model or carrier.
    SnappingNode();
    ~SnappingNode() override;

    /// A new point without snapping model or carrier.
    [[nodiscard]] static std::shared_ptr<SnappingNode> make();

    /// The model that would dock here, or nullptr.
    [[nodiscard]] std::shared_ptr<ModelNode> snappingModel() const { return snappingModel_.lock(); }
    /// Sets (or clears) the model that would dock here.
    void setSnappingModel(const std::shared_ptr<ModelNode>& model) { snappingModel_ = model; }
    /// The model that carries this point, or nullptr.
    [[nodiscard]] std::shared_ptr<ModelNode> connectToModel() const { return connectToModel_.lock(); }
    /// Sets (or clears) the model that carries this point.
    void setConnectToModel(const std::shared_ptr<ModelNode>& model) { connectToModel_ = model; }

    /// True when the snapping model sits on this point: the centre of the preview, standing where the
    /// snapping model stands, lies strictly inside the point's bounding sphere. The preview is the
    /// product as it rests, so a levitating model or one showing its sizes is judged by its product.
    /// False without a snapping model.
    [[nodiscard]] bool isSnappingModelInside() const;
    /// Hides the point when it has no snapping model or the snapping model sits on it; shows it
    /// otherwise.
    void refresh();
    /// The same, and hides a point that is shown when one of `obstacles` stands in its way.
    void refresh(const SnappingObstacles& obstacles);
    /// True when the docked preview would overlap one of `models` (see `SnappingObstacles`). The
    /// carrier and the snapping model never block.
    [[nodiscard]] bool isOverlappedWithModels(const std::vector<std::shared_ptr<ModelNode>>& models) const;

    /// The world-space box the blocking test compares: the preview's geometry as it stands, turned
    /// with the point, as a model's overlap box is formed.
    [[nodiscard]] SCNBoundingBox overlapBoundingBox() const;

    /// A copy with the same snapping model and carrier and a clone of the preview.
    [[nodiscard]] std::shared_ptr<SCNNode> clone() const override;

protected:
    SnappingNode(const SnappingNode& other);

private:
    std::weak_ptr<ModelNode> snappingModel_;
    std::weak_ptr<ModelNode> connectToModel_;
};

}  // namespace vantrel

#pragma GCC visibility pop
