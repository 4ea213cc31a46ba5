#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <string>

#include "vantrel/adapters/AdapterManagementDelegate.hpp"
#include "vantrel/graph/SCNVector3.hpp"

namespace vantrel {

/// The help messages an AR adapter asks its host to show.
enum class ArHelpMessageType {
    scanKeepMoving,          ///< No plane yet: keep moving the device.
    scanKeepMovingExtended,  ///< Still nothing placed after a while: move, make room, add light.
    modelSelected,           ///< A model was selected: how to move, turn and scale it.
};

/// The AR adapter's delegate: the shared callbacks, help messages and the session's course. Every
/// callback runs on the main thread.
class ArManagementDelegate : public AdapterManagementDelegate {
public:
    /// A help message is to be shown (replacing any shown one).
    virtual void onShowHelpMessage(ArHelpMessageType type, const std::string& message) { (void)type, (void)message; }
    /// Any shown help message is to be hidden.
    virtual void onHideHelpMessage() {}
    /// The session was run, from the start when `restarted`.
    virtual void onArSessionStarted(bool restarted) { (void)restarted; }
    /// The session was paused.
    virtual void onArSessionPaused() {}
    /// The first horizontal plane was found at the screen centre, at `position` (world).
    virtual void onFirstPlaneDetected(const SCNVector3& position) { (void)position; }
};

}  // namespace vantrel

#pragma GCC visibility pop
