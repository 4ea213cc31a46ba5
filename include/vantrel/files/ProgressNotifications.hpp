#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/files/ProgressStatus.hpp"

#include <string>

namespace vantrel {

/// The object of a progress notification: the four values in the order id, message, status, completed.
struct ProgressInfo {
    /// The component, material or scene the progress belongs to.
    std::string id;
    /// Free text for display.
    std::string message;
    /// The phase.
    ProgressStatus status = ProgressStatus::loading;
    /// The fraction done.
    double completed = 0;
};

/// Posts "ComponentProgressNotification" with a ProgressInfo, synchronously on the calling thread.
void postComponentProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                       double completed);
/// Posts "MaterialProgressNotification" with a ProgressInfo, synchronously on the calling thread.
void postMaterialProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                      double completed);
/// Posts "SceneProgressNotification" with a ProgressInfo, synchronously on the calling thread.
void postSceneProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                   double completed);

}  // namespace vantrel

#pragma GCC visibility pop
