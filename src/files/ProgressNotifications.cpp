#include "vantrel/files/ProgressNotifications.hpp"

#include "vantrel/core/NotificationCenter.hpp"
#include "vantrel/core/VantrelSDK.hpp"

namespace vantrel {

namespace {
void postProgress(const char* name, const std::string& id, const std::string& message, ProgressStatus status,
                  double completed) {
    NotificationCenter::defaultCenter().post(name, ProgressInfo{id, message, status, completed});
}
}  // namespace

void postComponentProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                       double completed) {
    postProgress(VantrelSDK::componentProgressNotification, id, message, status, completed);
}

void postMaterialProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                      double completed) {
    postProgress(VantrelSDK::materialProgressNotification, id, message, status, completed);
}

void postSceneProgressNotification(const std::string& id, const std::string& message, ProgressStatus status,
                                   double completed) {
    postProgress(VantrelSDK::sceneProgressNotification, id, message, status, completed);
}

}  // namespace vantrel
