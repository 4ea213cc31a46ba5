// VantrelSDK::shutdown: the library's clients stopped and joined in a fixed order, by the host or
// at process exit.

#include "sdk/Shutdown.hpp"

#include "backend/QueryCache.hpp"
#include "backend/RestClient.hpp"
#include "core/DispatchQueueImpl.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/core/Clock.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/Paths.hpp"
#include "vantrel/core/Strings.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/DownloadingService.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/AuthService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/CompanyService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"
#include "vantrel/services/ModelMeasuringUnitService.hpp"
#include "vantrel/services/SceneService.hpp"
#include "vantrel/services/UnsupportedAppVersionService.hpp"

#include <chrono>
#include <cstdlib>
#include <mutex>

namespace vantrel {

namespace {

// How long shutting down waits for the global queue to run dry.
constexpr std::chrono::seconds kGlobalQueueWait{2};

}  // namespace

namespace detail {

void shutDownAtExit() {
    // At exit, process-wide objects are destroyed in the reverse order of their making, and an exit
    // handler takes its place in that order when it is registered. So everything the clients'
    // remaining work may touch (the backend client's slots and caches, the stored user, the
    // registries, the services' names, the queues, the clock, the string table) is made first:
    // the handler then runs while all of it still exists.
    (void)backend_detail::QueryCache::shared();
    (void)ParseUser::currentUser();
    (void)VantrelSDK::lifecycleQueue();
    (void)VantrelSDK::lastDbAccessQueue();
    (void)Clock::current();
    (void)Paths::cachesDirectory();
    (void)Strings::localized("common_internal_error");
    (void)DownloadingService::sharedInstance();
    for (const auto* name :
         {&UnsupportedAppVersionService::typeName(), &AuthService::typeName(), &CompanyService::typeName(),
          &CatalogService::typeName(), &ComponentService::typeName(), &AnchorObjectService::typeName(),
          &MaterialService::typeName(), &AppListItemService::typeName(), &SceneService::typeName(),
          &ModelMeasuringUnitService::typeName()})
        (void)name;
    std::atexit([] { VantrelSDK::shutdown(); });
}

}  // namespace detail

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
    //    that sent to the backend client. The host's own items share that queue, and one that
    //    never ends must not hold the process: after a while the library stops waiting for it.
    if (!detail::waitUntilGlobalQueueIdle(kGlobalQueueWait))
        VLOG_WARNING("VantrelSDK shutdown: the global queue is still busy; not waiting for it any longer.");
    if (auto rest = backend_detail::currentRestClient()) rest->http().shutdown();
    VLOG_INFO("VantrelSDK shut down.");
}

}  // namespace vantrel
