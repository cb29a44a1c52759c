// Test entry point: isolates each test process before any test runs, and
// leaves nothing behind when it ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/TestEnv.h"

namespace fs = std::filesystem;

namespace {

// Every process this one still parents: children a test left running, and
// orphans of children, handed to us as their subreaper. Ended first, so none
// of them makes anew what is removed next.
void EndChildren() {
    for (bool found = true; found;) {
        found = false;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            const pid_t pid = std::atoi(entry.path().filename().c_str());
            const std::string stat = vantor::test::ReadFile(entry.path().string() + "/stat");
            const size_t end = stat.rfind(')');  // the command name may hold anything
            if (pid <= 0 || end == std::string::npos ||
                std::atoi(stat.c_str() + end + 4) != ::getpid()) {
                continue;
            }
            if (stat[end + 2] != 'Z') {  // an ended orphan only waits to be reaped
                std::fprintf(stderr, "test main: ending process %d that a test left\n", pid);
                ::kill(pid, SIGKILL);
            }
            found = true;
        }
        while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
        }
    }
}

bool IsDeathTestChild(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strstr(argv[i], "internal_run_death_test") != nullptr) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A death test run in a fresh copy of this program shares its parent's
    // namespace and directories, and leaves them to the parent.
    const bool deathTestChild = IsDeathTestChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (deathTestChild) return RUN_ALL_TESTS();

    // One IPC namespace per process: shared memory, locks and copy-data
    // endpoints of parallel test processes never meet. The servers that tests
    // start inherit it.
    const std::string ns = "vt" + std::to_string(::getpid()) + "_";
    ::setenv("VANTOR_IPC_NAMESPACE", ns.c_str(), 1);
    // A private temporary root for every temporary directory of the tests and
    // their children, and private configuration and crash directories unless
    // a test runner set them.
    const std::string root =
        fs::temp_directory_path().string() + "/vantor-t" + std::to_string(::getpid());
    // A process of an earlier run with our process id may have crashed.
    vantor::test::RemoveNamespaceObjects(ns);
    std::error_code ec;
    fs::remove_all(root, ec);
    for (const char* dir : {"/tmp", "/config", "/crash"}) fs::create_directories(root + dir);
    ::setenv("TMPDIR", (root + "/tmp").c_str(), 1);
    ::setenv("VANTOR_CONFIG_DIR", (root + "/config").c_str(), 0);
    ::setenv("VANTOR_CRASH_DIR", (root + "/crash").c_str(), 0);
    // Children that crash on purpose leave no core files.
    rlimit core{};
    ::getrlimit(RLIMIT_CORE, &core);
    core.rlim_cur = 0;
    ::setrlimit(RLIMIT_CORE, &core);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    const int rc = RUN_ALL_TESTS();

    EndChildren();
    vantor::test::RemoveNamespaceObjects(ns);
    fs::remove_all(root, ec);
    return rc;
}
