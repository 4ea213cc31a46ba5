// VantrelSDK::shutdown: the library's clients stopped and joined in a fixed order, by the host or
// at process exit.

#include "backend/RestClient.hpp"
#include "core/DispatchQueueImpl.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <mutex>

namespace vantrel {

void VantrelSDK::shutdown() {
    static std::mutex mutex;
    static bool done = false;
    std::lock_guard lock(mutex);
    if (done) return;
    done = true;

    // 1. Live changes: the client goes, its delivery thread finishes the handler it runs. From
    //    here on services find no client and subscribe to nothing.
    if (auto live = LiveQueryClient::shared()) {
        live->disconnect();
        LiveQueryClient::setShared(nullptr);
    }
    // 2. Signed transfers, whose blocks hand work to the main queue only.
    DownloadingService::sharedInstance().stopTransfers();
    // 3. The backend client: what runs is cancelled, and the completion chains (a verification
    //    that goes on to subscribe, a page loop) end while it waits, each further request of
    //    theirs failing at once with code 100.
    if (auto rest = backend_detail::currentRestClient()) rest->http().shutdown();
    // 4. What those chains handed to the global queue (a sign-out, say), then once more whatever
    //    that sent to the backend client.
    detail::waitUntilGlobalQueueIdle();
    if (auto rest = backend_detail::currentRestClient()) rest->http().shutdown();
    VLOG_INFO("VantrelSDK shut down.");
}

}  // namespace vantrel
