// Test entry: isolates every run's per-user directories in a temporary folder so that tests never
// touch the developer's own caches, logs or saved sessions.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

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
        return result;
    }
    return RUN_ALL_TESTS();
}
