// A host that drives the backend client without ever calling VantrelSDK::initialize and returns
// from main while its requests and a live-query connection are still under way. The test binary
// runs itself as that host, many times: the host is the child case below, which ends with an
// ordinary exit (static destruction included) in the middle of its work.

#include "integration/services/HostProcess.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "support/TestPaths.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseUser.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/AnchorObjectService.hpp"
#include "vantrel/services/AppListItemService.hpp"
#include "vantrel/services/CatalogService.hpp"
#include "vantrel/services/ComponentService.hpp"
#include "vantrel/services/MaterialService.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace vantrel {
namespace {

constexpr const char* kChildVariable = "VANTREL_EXIT_CHILD";

class ExitWithoutInitializeTest : public test::ServicesBackendFixture {};

TEST_F(ExitWithoutInitializeTest, AHostThatNeverInitializedLeavesMainMidRequestAndEndsCleanlyEveryTime) {
    const auto seeded = seedCompany();
    const auto home = std::filesystem::temp_directory_path() / uniqueName("vantrel-exit-home");
    std::filesystem::create_directories(home / "cache");
    std::filesystem::create_directories(home / "data");
    const std::vector<std::string> extra = {std::string(kChildVariable) + "=1",
                                            "VANTREL_TEST_KEEP_HOME=1",
                                            "XDG_CACHE_HOME=" + (home / "cache").string(),
                                            "XDG_DATA_HOME=" + (home / "data").string(),
                                            "VANTREL_EXIT_USER=" + seeded["manager"]["username"].get<std::string>(),
                                            "VANTREL_EXIT_PASSWORD=" + seeded["manager"]["password"].get<std::string>(),
                                            "VANTREL_EXIT_CATALOG=" + seeded["catalog"].get<std::string>()};
    constexpr int kRuns = 24;
    int clean = 0;
    for (int run = 0; run < kRuns; ++run) {
        const int status = test::runHostProcess(
            {std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=ExitWithoutInitializeChild.*"},
            extra);
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        EXPECT_TRUE(ok) << "run " << run << ": " << test::describeWaitStatus(status);
        clean += ok ? 1 : 0;
    }
    EXPECT_EQ(clean, kRuns);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

// The host: signs in through the backend client alone, opens a live-query connection, sends a
// burst of catalogue reads and leaves through exit while they run.
class ExitWithoutInitializeChild : public test::ServicesBackendFixture {};

TEST_F(ExitWithoutInitializeChild, LeavesWhileRequestsAndLiveQueryAreInFlight) {
    if (std::getenv(kChildVariable) == nullptr) GTEST_SKIP() << "runs only as the host of the test above";
    logIn(std::getenv("VANTREL_EXIT_USER"), std::getenv("VANTREL_EXIT_PASSWORD"));
    installLiveQueryClient();
    auto catalog = std::make_shared<CatalogEntity>();
    catalog->setObjectId(std::getenv("VANTREL_EXIT_CATALOG"));
    CatalogService::sharedInstance().subscribeIfNeeded();
    for (int i = 0; i < 8; ++i) {
        ComponentService::sharedInstance().obtainAllComponentsByCatalog(catalog, std::nullopt, std::nullopt,
                                                                        [](auto, auto) {});
        MaterialService::sharedInstance().obtainAllMaterialsByCatalog(catalog, std::nullopt, std::nullopt,
                                                                      [](auto, auto) {});
        AnchorObjectService::sharedInstance().obtainAllAnchorObjectsByCurrentCatalog(std::nullopt, std::nullopt,
                                                                                     [](auto, auto) {});
        AppListItemService::sharedInstance().obtainAppListItemsByCurrentCatalog(nullptr, std::nullopt, std::nullopt,
                                                                                [](auto, auto) {});
    }
    std::fflush(nullptr);
    std::exit(0);
}

}  // namespace
}  // namespace vantrel
