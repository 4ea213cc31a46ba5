#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <vector>

namespace vantrel {

class ModelNode;
class SnappingNode;

/// How a selected model docks onto the other models of a scene: the pieces the canvas and AR adapters
/// run on selection, at the end of a move, on a tap on a point and on deselection.
///
/// The selected model's snapping areas name the components it joins; every other model of such a
/// component gets one snapping point per area, recorded under the selected model's `id` and shown
/// while it is free. All of it is main-thread work on the adapters' model list.
namespace docking {

/// Duration of the scene transaction in which a model moves onto a point.
inline constexpr double snappingAnimationDuration = 0.3;

/// Builds the snapping points of `selected` on the other models of `models`: for each of its snapping
/// areas in order, and each other model (by `id`) of the area's `connectToComponentId` in list order,
/// a point carrying a half-transparent preview of `selected`, standing at the area's offset in the
/// other model's coordinates. Each is recorded under `selected`'s id and attached, and every carrier's
/// points are refreshed against `models`. Returns the new points in that order.
std::vector<std::shared_ptr<SnappingNode>> buildSnappingNodes(const std::shared_ptr<ModelNode>& selected,
                                                              const std::vector<std::shared_ptr<ModelNode>>& models);

/// Detaches the snapping points of every model of `models` and empties their lists (deselection, or
/// snapping switched off).
void removeSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models);

/// Refreshes the points of every model of `models` except `moved` against the whole list, after
/// `moved` has moved: a point it now sits on hides, one it left shows again, and points a third model
/// stands in the way of stay hidden.
void refreshSnappingNodes(const std::vector<std::shared_ptr<ModelNode>>& models, const ModelNode* moved);

/// The point `moved` sits on at the end of a move: the first visible point recorded under its id on
/// the other models (models in list order, points in recorded order), or nullptr.
std::shared_ptr<SnappingNode> occupiedSnappingNode(const ModelNode& moved,
                                                   const std::vector<std::shared_ptr<ModelNode>>& models);

/// Moves `model` onto `point`: it takes the point's world position and world orientation in a
/// `snappingAnimationDuration` scene transaction (its scale stays).
void dock(ModelNode& model, const SnappingNode& point);

/// The end of a move: docks `moved` onto the point it sits on, if any; true when it docked.
bool snapToOccupiedNode(ModelNode& moved, const std::vector<std::shared_ptr<ModelNode>>& models);

/// A tap on `point` while `selected` is selected: docks it there when the point is shown and is one
/// of `selected`'s; true when it docked.
bool snapToTappedNode(ModelNode& selected, const SnappingNode& point);

}  // namespace docking
}  // namespace vantrel

#pragma GCC visibility pop
