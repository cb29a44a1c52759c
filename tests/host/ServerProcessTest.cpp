// The server as a process: what an operator and a service manager see.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace vantor::test {
namespace {

using namespace std::chrono_literals;

class ServerProcess : public ::testing::Test {
protected:
    std::string Server() const { return ExecutableDir() + "/vantor"; }
    std::vector<std::string> Env(std::vector<std::string> add = {}) const {
        add.push_back("VANTOR_CONFIG_DIR=" + config.Path());
        add.push_back("VANTOR_CRASH_DIR=" + config.Path() + "/crash");
        return InheritedEnvironment({"VANTOR_CONFIG_DIR", "VANTOR_CRASH_DIR"}, add);
    }
    // A copy of the server in a tree of its own, with `library` (a file of
    // the build's lib/, or none) as its lib/libkorbel.so.
    std::string ServerInTree(const std::string& library) const {
        namespace fs = std::filesystem;
        fs::create_directories(tree.Path() + "/bin");
        fs::create_directories(tree.Path() + "/lib");
        if (!library.empty()) fs::copy_file(library, tree.Path() + "/lib/libkorbel.so");
        fs::copy_file(Server(), tree.Path() + "/bin/vantor");
        return tree.Path() + "/bin/vantor";
    }
    // True when the running server samples the simulated board: an output
    // request on `line` of the attached block reads back on that input.
    static bool SamplesTheSimulatedBoard(protocol::CSharedMemory& block, int line) {
        auto* data = static_cast<protocol::SharedBlock*>(block.GetData());
        block.Lock();
        data->digitalOutRequest[line] = 1;
        block.Unlock();
        return Eventually([&] {
            protocol::BlockLock lock(block);
            return data->digitalIn[line] == 1;
        });
    }
    TempDir config;
    TempDir tree;
    TempDir out1;
    TempDir out2;
};

TEST_F(ServerProcess, RunsPublishesRefusesASecondCopyAndStopsCleanlyOnSigterm) {
    ChildProcess server(Server(), {"--headless"}, Env(), out1.Path());
    ASSERT_TRUE(server.WaitForText("running", true, 5000)) << server.Stderr();
    EXPECT_NE(server.Stderr().find("board: SIM Hardware"), std::string::npos) << server.Stderr();

    // A second copy ends at once with code 1 and leaves the first running.
    ChildProcess second(Server(), {"--headless"}, Env(), out2.Path());
    int status = 0;
    ASSERT_TRUE(second.WaitFor(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_TRUE(server.Running());

    // The block is published, and an output request reads back on the input.
    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    auto* data = static_cast<protocol::SharedBlock*>(block.GetData());
    EXPECT_TRUE(SamplesTheSimulatedBoard(block, 7));
    // No board: the server switched itself to asynchronous mode in its file.
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=1"), std::string::npos);

    // A counter hold too, before the server goes away.
    block.Lock();
    data->counterHold[2] = 1;
    block.Unlock();

    // A copy whose runtime directory differs (a service beside a login shell)
    // does not take the block over either, and clears nothing.
    ChildProcess elsewhere(Server(), {"--headless"}, Env({"XDG_RUNTIME_DIR=" + tree.Path()}),
                           out2.Path());
    ASSERT_TRUE(elsewhere.WaitFor(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(elsewhere.Stderr().find("another server already serves"), std::string::npos)
        << elsewhere.Stderr();
    block.Lock();
    EXPECT_EQ(data->counterHold[2], 1);
    block.Unlock();

    auto t0 = std::chrono::steady_clock::now();
    server.Signal(SIGTERM);
    ASSERT_TRUE(server.WaitFor(1000, &status)) << "still running 1 s after SIGTERM";
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(server.Stderr().find("HardWare Exit"), std::string::npos);

    // The next server serves none of what the last run left: the reader that
    // stayed attached sees the requests cleared and the input following.
    ChildProcess next(Server(), {"--headless"}, Env(), out2.Path());
    ASSERT_TRUE(next.WaitForText("running", true, 5000)) << next.Stderr();
    block.Lock();
    EXPECT_EQ(data->digitalOutRequest[7], 0);
    EXPECT_EQ(data->counterHold[2], 0);
    block.Unlock();
    EXPECT_TRUE(Eventually([&] {
        block.Lock();
        bool low = data->digitalIn[7] == 0;
        block.Unlock();
        return low;
    }));
}

TEST_F(ServerProcess, RefusesASharedBlockPreparedByAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user's object needs root to set up";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::string name = platform::ShmName("NXSharedMemory");
    platform::SharedMemoryObject::Unlink(name);
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchown(fd, nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::fchmod(fd, 0666), 0);
    ::close(fd);

    ChildProcess server(Server(), {"--headless"}, Env(), out1.Path());
    int status = 0;
    ASSERT_TRUE(server.WaitFor(5000, &status));
    platform::SharedMemoryObject::Unlink(name);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;
    EXPECT_NE(server.Stderr().find(name), std::string::npos) << server.Stderr();
}

TEST_F(ServerProcess, UnusableModeFileStillSamplesInTheModeShown) {
    // AcqCfg.ini can be neither read nor written: the switch to asynchronous
    // mode that the simulated board needs cannot go into the file.
    std::filesystem::create_directory(config.File("AcqCfg.ini"));
    ChildProcess server(Server(), {"--headless"}, Env(), out1.Path());
    ASSERT_TRUE(server.WaitForText("running", true, 5000)) << server.Stderr();
    EXPECT_NE(server.Stderr().find("board: SIM Hardware, mode: asynchronous"), std::string::npos)
        << server.Stderr();
    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    EXPECT_TRUE(SamplesTheSimulatedBoard(block, 9));
    server.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(server.WaitFor(3000, &status));
}

TEST_F(ServerProcess, UnusableRuntimeDirectoryIsReportedNotTakenForASecondServer) {
    // Something other than our own private directory where the runtime directory belongs.
    TempDir runtime;
    WriteFile(runtime.File("vantor"), "");
    ChildProcess server(Server(), {"--headless"}, Env({"XDG_RUNTIME_DIR=" + runtime.Path()}),
                        out1.Path());
    int status = 0;
    ASSERT_TRUE(server.WaitFor(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_NE(server.Stderr().find(runtime.File("vantor")), std::string::npos) << server.Stderr();
}

TEST_F(ServerProcess, EnvironmentTheSystemLibraryCannotFillEndsWithItsMessage) {
    // A configuration path too long for the environment record: GetKorbel fails.
    std::string tooLong = config.Path() + "/" + std::string(300, 'x');
    ChildProcess server(
        Server(), {"--headless"},
        InheritedEnvironment({"VANTOR_CONFIG_DIR"}, {"VANTOR_CONFIG_DIR=" + tooLong}), out1.Path());
    int status = 0;
    ASSERT_TRUE(server.WaitFor(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_NE(server.Stderr().find("[Korbel.dll] [DMI_GetKorbel()] 加载错误或者没有该文件！"),
              std::string::npos)
        << server.Stderr();
}

TEST_F(ServerProcess, FifoInPlaceOfTheSettingsFileLeavesTheDefaults) {
    ASSERT_EQ(::mkfifo(config.File("AcqSet.cfg").c_str(), 0600), 0);
    ChildProcess server(Server(), {"--headless"}, Env(), out1.Path());
    // Nobody ever writes to the FIFO: waiting for a writer would block start-up for good.
    ASSERT_TRUE(server.WaitForText("running", true, 5000)) << server.Stderr();
    EXPECT_NE(server.Stderr().find("no settings file"), std::string::npos) << server.Stderr();
    server.Signal(SIGTERM);
    int status = 0;
    ASSERT_TRUE(server.WaitFor(3000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(ServerProcess, MissingSystemLibraryEndsWithCodeMinusOne) {
    ChildProcess server(ServerInTree(""), {"--headless"}, Env(), out1.Path());
    int status = 0;
    ASSERT_TRUE(server.WaitFor(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255) << status;
    EXPECT_NE(server.Stderr().find("系统库不存在或者版本错误!"), std::string::npos)
        << server.Stderr();
}

TEST_F(ServerProcess, SystemLibraryWithoutAnEntryPointNeverRunsWithoutItsConfiguration) {
    const std::string libs = VANTOR_TESTLIB_DIR;
    // A late entry point missing: what was found before it serves, the
    // configuration is where the system library says.
    {
        ChildProcess server(ServerInTree(libs + "/no-getversnum/libkorbel.so"), {"--headless"},
                            Env(), out1.Path());
        ASSERT_TRUE(server.WaitForText("running", true, 5000)) << server.Stderr();
        EXPECT_NE(server.Stderr().find("configuration: " + config.Path()), std::string::npos)
            << server.Stderr();
        EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=1"), std::string::npos);
        server.Signal(SIGTERM);
        int status = 0;
        ASSERT_TRUE(server.WaitFor(3000, &status));
    }
    std::filesystem::remove_all(tree.Path() + "/bin");
    std::filesystem::remove_all(tree.Path() + "/lib");
    // Without GetKorbel there is no environment: its message and exit code 2.
    ChildProcess server(ServerInTree(libs + "/no-getkorbel/libkorbel.so"), {"--headless"}, Env(),
                        out2.Path());
    int status = 0;
    ASSERT_TRUE(server.WaitFor(5000, &status)) << server.Stderr();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_NE(server.Stderr().find("[Korbel.dll] [DMI_GetKorbel()] 加载错误或者没有该文件！"),
              std::string::npos)
        << server.Stderr();
}

TEST_F(ServerProcess, HelpAndVersionNeedNoEnvironment) {
    ChildProcess help(Server(), {"--help"}, Env(), out1.Path());
    int status = 0;
    ASSERT_TRUE(help.WaitFor(5000, &status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(help.Stdout().find("--headless"), std::string::npos);
    EXPECT_NE(help.Stdout().find("Exit codes"), std::string::npos);
    ChildProcess version(Server(), {"--version"}, Env(), out2.Path());
    ASSERT_TRUE(version.WaitFor(5000, &status));
    EXPECT_NE(version.Stdout().find("vantor "), std::string::npos);
}

}  // namespace
}  // namespace vantor::test
