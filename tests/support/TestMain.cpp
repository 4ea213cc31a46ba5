// Test entry: isolates every run's per-user directories in a temporary folder so that tests never
// touch the developer's own caches, logs or saved sessions.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// Ends the test process once its results are written. Without sanitizers the process leaves
// without running static destructors: a test that used the backend client without initializing
// the library leaves its worker threads running into the destruction of process-wide objects,
// which has been seen to abort ("pure virtual method called") after every test had passed. The
// sanitizer passes keep the ordinary exit, so leak checks still run.
int finish(int result) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return result;
#else
    std::fflush(nullptr);
    std::_Exit(result);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    if (std::getenv("VANTREL_TEST_KEEP_HOME") == nullptr) {
        const auto root = std::filesystem::temp_directory_path() / ("vantrel-tests-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "cache");
        std::filesystem::create_directories(root / "data");
        ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        const int result = RUN_ALL_TESTS();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
        return finish(result);
    }
    return finish(RUN_ALL_TESTS());
}
