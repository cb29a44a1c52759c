// Test entry point: isolates each test process before any test runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    // One IPC namespace per process: shared memory, locks and copy-data endpoints
    // of parallel test processes never meet.
    std::string ns = "vt" + std::to_string(::getpid()) + "_";
    ::setenv("VANTOR_IPC_NAMESPACE", ns.c_str(), 1);

    // Private configuration and crash directories unless a test runner set them.
    std::string root =
        std::filesystem::temp_directory_path().string() + "/vantor-t" + std::to_string(::getpid());
    std::filesystem::create_directories(root + "/config");
    std::filesystem::create_directories(root + "/crash");
    ::setenv("VANTOR_CONFIG_DIR", (root + "/config").c_str(), 0);
    ::setenv("VANTOR_CRASH_DIR", (root + "/crash").c_str(), 0);

    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return rc;
}
