// A host that returns from main right after signing in, run many times against the reference
// backend: whatever the library's threads are doing then (the sign-in's follow-up checks, the live
// subscriptions starting), the process ends cleanly.

#include "integration/services/HostProcess.hpp"
#include "support/ServicesBackendFixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include "support/TestPaths.hpp"

namespace vantrel {
namespace {

// Runs the host once; its wait status.
int runHost(const std::string& mode, const nlohmann::json& user, const std::string& version,
            const std::filesystem::path& home) {
    return test::runHostProcess(
        {VANTREL_EXIT_AFTER_SIGN_IN, mode, user["username"], user["password"], version},
        {"HOME=" + home.string(), "VANTREL_RESOURCES=" + vantrel::test::sourceDirectory().string() + "/resources"});
}

class ExitAfterSignInTest : public test::ServicesBackendFixture {};

TEST_F(ExitAfterSignInTest, AHostThatLeavesRightAfterSigningInEndsCleanlyEveryTime) {
    const auto seeded = seedCompany();
    const std::string version = uniqueName("exit-version");
    const auto home = std::filesystem::temp_directory_path() / uniqueName("vantrel-exit-home");
    std::filesystem::create_directories(home);
    int clean = 0;
    const std::vector<std::string> modes = {"answered", "asked", "answered", "explicit"};
    constexpr int kRuns = 16;
    for (int run = 0; run < kRuns; ++run) {
        const std::string& mode = modes[static_cast<std::size_t>(run) % modes.size()];
        const int status = runHost(mode, seeded["manager"], version, home);
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        EXPECT_TRUE(ok) << "run " << run << " (" << mode << "): " << test::describeWaitStatus(status);
        clean += ok ? 1 : 0;
    }
    EXPECT_EQ(clean, kRuns);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

}  // namespace
}  // namespace vantrel
