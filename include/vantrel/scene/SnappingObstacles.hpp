#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "vantrel/graph/SCNBoundingVolume.hpp"

namespace vantrel {

class ModelNode;
class SnappingNode;

/// The models that may stand in the way of snapping points, gathered once so that many points can
/// be tested against them.
///
/// Each model's overlap box (`ModelNode::overlapBoundingBox`, which leaves snapping points and the
/// dimension display out) is taken when the obstacles are gathered, and the boxes are filed in a grid
/// on the floor plane, so that a point looks only at the models around it: testing every point of a
/// scene grows with the number of points, not with points times models. Gather again after models
/// move.
///
/// A point is blocked when its preview's box (`SnappingNode::overlapBoundingBox`) reaches into a
/// model's box by more than `ModelNode::overlapTolerance` on all three axes, as two models overlap.
/// The point's carrier never blocks it (the point stands beside it by design), nor does the snapping
/// model (the preview stands for it, so where it stands now is about to be left).
///
/// Holds plain pointers to the models: use it while the models it was gathered from live, on the
/// main thread.
class SnappingObstacles {
public:
    /// No obstacles: nothing is blocked.
    SnappingObstacles() = default;
    /// The models of `models`; null entries are skipped.
    explicit SnappingObstacles(const std::vector<std::shared_ptr<ModelNode>>& models);

    /// True when no model was gathered.
    [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
    /// True when a model other than the point's carrier and snapping model stands in the way of the
    /// point's preview.
    [[nodiscard]] bool isBlocking(const SnappingNode& point) const;

private:
    struct Entry {
        const ModelNode* model;
        SCNBoundingBox box;
    };

    [[nodiscard]] bool blocks(const Entry& entry, const SCNBoundingBox& box, const ModelNode* carrier,
                              const ModelNode* snappingModel) const;
    [[nodiscard]] std::int64_t cellKey(std::int64_t column, std::int64_t row) const noexcept;

    std::vector<Entry> entries_;
    // Indices into entries_ by grid cell over x and z; models too large for the grid are always tested.
    std::unordered_map<std::int64_t, std::vector<std::uint32_t>> cells_;
    std::vector<std::uint32_t> large_;
    float cellSize_ = 0.0f;
};

}  // namespace vantrel

#pragma GCC visibility pop
