#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

#include "vantrel/core/Error.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

namespace vantrel {

/// What a presentation adapter (canvas or AR) tells its host about the models it shows.
///
/// An adapter holds its delegate weakly (`std::weak_ptr`), so the host owns it; every callback runs on
/// the main thread. Model and component ids are those of the `ModelNode` concerned; positions and
/// rotations are read from the model after the change. The default bodies do nothing, so a host
/// overrides only what it needs.
class AdapterManagementDelegate {
public:
    virtual ~AdapterManagementDelegate() = default;

    /// The lighting environment of a changed scene record could not be applied.
    virtual void onSceneSettingsFailure(const Error& error) { (void)error; }
    /// A failure of the adapter's own session (AR).
    virtual void onError(const Error& error) { (void)error; }
    /// A model was added; `error` is reserved for additions that failed.
    virtual void onModelAdded(const std::string& modelId, const std::string& componentId, const OptionalError& error) {
        (void)modelId, (void)componentId, (void)error;
    }
    /// A model was removed.
    virtual void onModelRemoved(const std::string& modelId, const std::string& componentId) {
        (void)modelId, (void)componentId;
    }
    /// A model was placed, moved, snapped, lifted or dropped; `rotation` is axis and angle.
    virtual void onModelTransformChanged(const std::string& modelId, const std::string& componentId,
                                         const SCNVector3& position, const SCNVector4& rotation) {
        (void)modelId, (void)componentId, (void)position, (void)rotation;
    }
    /// A model became selected.
    virtual void onModelSelected(const std::string& modelId, const std::string& componentId) {
        (void)modelId, (void)componentId;
    }
    /// The selected model was deselected.
    virtual void onModelDeselected() {}
};

}  // namespace vantrel

#pragma GCC visibility pop
