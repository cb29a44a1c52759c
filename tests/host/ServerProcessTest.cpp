// The server as a process: what an operator and a service manager see.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "platform/UniqueFd.h"
#include "platform/UnixAddress.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace vantor::test {
namespace {

class ServerProcess : public ::testing::Test {
protected:
    std::vector<std::string> Env(std::vector<std::string> add = {}) const {
        add.insert(add.begin(), {"VANTOR_CONFIG_DIR=" + config.Path(),
                                 "VANTOR_CRASH_DIR=" + config.Path() + "/crash"});
        return add;
    }
    // A copy of the server in a tree of its own, with `library` (a file of
    // the build's lib/, or none) as its lib/libkorbel.so.
    std::string ServerInTree(const std::string& library) {
        namespace fs = std::filesystem;
        const std::string root = tree.File(std::to_string(++m_trees));
        fs::create_directories(root + "/bin");
        fs::create_directories(root + "/lib");
        if (!library.empty()) fs::copy_file(library, root + "/lib/libkorbel.so");
        fs::copy_file(ExecutableDir() + "/vantor", root + "/bin/vantor");
        return root + "/bin/vantor";
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
    int m_trees = 0;
};

TEST_F(ServerProcess, RunsPublishesRefusesASecondCopyAndStopsCleanlyOnSigterm) {
    // Left by a writer killed mid-replacement an hour ago: removed at start.
    const std::string unfinished = config.File("AcqSet.cfg.tmpAb12Cd");
    WriteFile(unfinished, "half");
    const timespec anHourAgo[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, unfinished.c_str(), anHourAgo, 0), 0);

    ChildProcess server("vantor", {"--headless"}, Env());
    ASSERT_TRUE(server.WaitForText("running;", true)) << server.Stderr();
    EXPECT_NE(server.Stderr().find("board: SIM Hardware"), std::string::npos) << server.Stderr();
    EXPECT_FALSE(std::filesystem::exists(unfinished)) << server.Stderr();

    // A second copy ends at once with code 1 and leaves the first running.
    ChildProcess second("vantor", {"--headless"}, Env());
    EXPECT_EQ(second.ExitCode(), 1) << second.Stderr();
    EXPECT_TRUE(server.Running());

    // The block is published, and an output request reads back on the input.
    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    auto* data = static_cast<protocol::SharedBlock*>(block.GetData());
    EXPECT_TRUE(SamplesTheSimulatedBoard(block, 7));
    // No board: the server switched itself to asynchronous mode in its file,
    // the only mode the simulated board samples in.
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=1"), std::string::npos);
    ChildProcess toSync("vantorctl", {"mode", "2"}, Env());
    EXPECT_EQ(toSync.ExitCode(), 1);
    EXPECT_NE(toSync.Stderr().find("simulated board"), std::string::npos) << toSync.Stderr();

    // A counter hold too, before the server goes away.
    block.Lock();
    data->counterHold[2] = 1;
    block.Unlock();

    // A copy whose runtime directory differs (a service beside a login shell)
    // does not take the block over either, and clears nothing.
    ChildProcess elsewhere("vantor", {"--headless"}, Env({"XDG_RUNTIME_DIR=" + tree.Path()}));
    EXPECT_EQ(elsewhere.ExitCode(), 1) << elsewhere.Stderr();
    EXPECT_NE(elsewhere.Stderr().find("another server already serves"), std::string::npos)
        << elsewhere.Stderr();
    block.Lock();
    EXPECT_EQ(data->counterHold[2], 1);
    block.Unlock();

    // The headless server never loads the window toolkit.
    const std::string maps = ReadFile("/proc/" + std::to_string(server.Pid()) + "/maps");
    ASSERT_FALSE(maps.empty());
    EXPECT_EQ(maps.find("libQt6"), std::string::npos);

    server.Signal(SIGTERM);
    EXPECT_EQ(server.ExitCode(1000), 0) << "still running 1 s after SIGTERM";
    EXPECT_NE(server.Stderr().find("HardWare Exit"), std::string::npos);
}

// The socket a Type=notify unit's manager listens on: collects the messages.
class NotifySocket {
public:
    explicit NotifySocket(std::string path) : m_path(std::move(path)) {
        const auto addr = platform::UnixAddress(m_path);
        EXPECT_TRUE(addr && ::bind(m_fd.Get(), addr.value().Get(), addr.value().length) == 0);
    }
    const std::string& Path() const { return m_path; }
    // Waits for a message with this line; everything received so far stays in Messages().
    bool WaitFor(const std::string& line) {
        return Eventually([&] {
            char buf[4096];
            for (ssize_t n = 0; (n = ::recv(m_fd.Get(), buf, sizeof buf, MSG_DONTWAIT)) > 0;) {
                m_messages.append(buf, n).append("\n");
            }
            return ("\n" + m_messages).find("\n" + line + "\n") != std::string::npos;
        });
    }
    const std::string& Messages() const { return m_messages; }

private:
    std::string m_path;
    std::string m_messages;
    platform::UniqueFd m_fd{::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
};

TEST_F(ServerProcess, UnderSystemdTellsReadinessStatusAndStopAndMarksTheTracePriorities) {
    NotifySocket manager(tree.File("notify"));
    // The journal's stream is the server's standard error: its device and inode.
    TempDir output;
    WriteFile(output.File("stderr"), "");
    struct stat err {};
    ASSERT_EQ(::stat(output.File("stderr").c_str(), &err), 0);
    const std::string stream = std::to_string(err.st_dev) + ":" + std::to_string(err.st_ino);
    ChildProcess server("vantor", {"--headless"},
                        Env({"NOTIFY_SOCKET=" + manager.Path(), "JOURNAL_STREAM=" + stream}),
                        output.Path());

    ASSERT_TRUE(manager.WaitFor("READY=1")) << manager.Messages() << server.Stderr();
    // Ready means serving: the block is there and the threads sample.
    const int fd = ::shm_open(platform::ShmName("NXSharedMemory").c_str(), O_RDONLY, 0);
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_NE(manager.Messages().find("STATUS=board: SIM Hardware, mode: asynchronous"),
              std::string::npos)
        << manager.Messages();
    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    EXPECT_TRUE(SamplesTheSimulatedBoard(block, 3));

    // The exit request ends it as SIGTERM does, and vantorctl waits for that.
    ChildProcess quit("vantorctl", {"quit"}, Env());
    EXPECT_EQ(quit.ExitCode(), 0) << quit.Stderr();
    EXPECT_NE(quit.Stdout().find("server stopped"), std::string::npos) << quit.Stdout();
    EXPECT_TRUE(manager.WaitFor("STOPPING=1")) << manager.Messages();
    EXPECT_EQ(server.ExitCode(), 0) << server.Stderr();
    EXPECT_NE(server.Stderr().find("exit requested: stopping"), std::string::npos);
    EXPECT_NE(server.Stderr().find("HardWare Exit"), std::string::npos);
    // Every line carries its priority: the defaults as a notice, the rest as information.
    EXPECT_NE(server.Stderr().find("\n<5>no settings file in "), std::string::npos)
        << server.Stderr();
    EXPECT_NE(server.Stderr().find("\n<6>running; SIGTERM"), std::string::npos) << server.Stderr();
}

TEST_F(ServerProcess, DisplayThatDoesNotAnswerLeavesTheServerHeadless) {
    // A $DISPLAY left over from an ended session: no X server listens there.
    ChildProcess server("vantor", {}, Env({"DISPLAY=:97", "WAYLAND_DISPLAY="}));
    ASSERT_TRUE(server.WaitForText("running;", true)) << server.Stderr();
    EXPECT_NE(server.Stderr().find("the display :97 does not answer: running headless"),
              std::string::npos)
        << server.Stderr();
    server.Signal(SIGTERM);
    EXPECT_EQ(server.ExitCode(), 0) << server.Stderr();

    // Something listens where display :96 would be, but it is no X server:
    // the window program finds that out before its toolkit would give up.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string name = "/tmp/.X11-unix/X96";  // in the abstract namespace
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&addr), length), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    std::atomic<bool> done{false};
    std::thread refuser([&] {
        while (!done) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 20) == 1) ::close(::accept(listener, nullptr, nullptr));
        }
    });
    ChildProcess notX("vantor", {}, Env({"DISPLAY=:96", "WAYLAND_DISPLAY="}));
    EXPECT_TRUE(notX.WaitForText("running;", true)) << notX.Stderr();
    EXPECT_NE(notX.Stderr().find("the X display does not answer: running headless"),
              std::string::npos)
        << notX.Stderr();
    notX.Signal(SIGTERM);
    EXPECT_EQ(notX.ExitCode(), 0) << notX.Stderr();
    done = true;
    refuser.join();
    ::close(listener);
}

TEST_F(ServerProcess, UnusableModeFileStillSamplesInTheModeShown) {
    // AcqCfg.ini can be neither read nor written: the switch to asynchronous
    // mode that the simulated board needs cannot go into the file.
    std::filesystem::create_directory(config.File("AcqCfg.ini"));
    ChildProcess server("vantor", {"--headless"}, Env());
    EXPECT_TRUE(server.WaitForText("board: SIM Hardware, mode: asynchronous", true))
        << server.Stderr();
    protocol::CSharedMemory block;
    ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    EXPECT_TRUE(SamplesTheSimulatedBoard(block, 9));
}

TEST_F(ServerProcess, UnusableRuntimeDirectoryIsReportedNotTakenForASecondServer) {
    // Something other than our own private directory where the runtime directory belongs.
    TempDir runtime;
    WriteFile(runtime.File("vantor"), "");
    ChildProcess server("vantor", {"--headless"}, Env({"XDG_RUNTIME_DIR=" + runtime.Path()}));
    EXPECT_EQ(server.ExitCode(), 3) << server.Stderr();
    EXPECT_NE(server.Stderr().find(runtime.File("vantor")), std::string::npos) << server.Stderr();
}

// A system library that is missing, lacks GetKorbel or cannot give the
// environment record (a configuration path too long for it) ends the server.
TEST_F(ServerProcess, BrokenSystemLibraryEndsWithItsCodeAndMessage) {
    const std::string noKorbel = "[Korbel.dll] [DMI_GetKorbel()] 加载错误或者没有该文件！";
    const std::string testlibs = VANTOR_TESTLIB_DIR;
    const struct {
        std::string program;
        std::vector<std::string> env;
        int code;
        std::string message;
    } cases[] = {
        {ServerInTree(""), Env(), 255, "系统库不存在或者版本错误!"},
        {ServerInTree(testlibs + "/no-getkorbel/libkorbel.so"), Env(), 2, noKorbel},
        {"vantor",
         {"VANTOR_CONFIG_DIR=" + config.Path() + "/" + std::string(300, 'x')},
         2,
         noKorbel},
    };
    for (const auto& c : cases) {
        ChildProcess server(c.program, {"--headless"}, c.env);
        EXPECT_EQ(server.ExitCode(), c.code) << c.program;
        EXPECT_NE(server.Stderr().find(c.message), std::string::npos) << server.Stderr();
    }
    // What was found before a later missing entry point serves, with the
    // configuration where the system library says.
    ChildProcess late(ServerInTree(testlibs + "/no-getversnum/libkorbel.so"), {"--headless"},
                      Env());
    ASSERT_TRUE(late.WaitForText("running;", true)) << late.Stderr();
    EXPECT_NE(late.Stderr().find("configuration: " + config.Path()), std::string::npos)
        << late.Stderr();
    EXPECT_NE(ReadFile(config.File("AcqCfg.ini")).find("MODE=1"), std::string::npos);
}

}  // namespace
}  // namespace vantor::test
