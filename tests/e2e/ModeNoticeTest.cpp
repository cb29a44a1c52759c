// The mode switch of a server in this process: a client registered with the
// server's "Vantor" endpoint (code 1064) receives 1124, clients that never
// read do not hold it up, and a mode file that cannot be written refuses it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Process.h"
#include "engine/ClientNames.h"
#include "host/ServerHost.h"
#include "platform/CopyDataBus.h"
#include "platform/PlatformTestHelpers.h"
#include "protocol/ServerStatus.h"

namespace vantor::test {
namespace {

// The client: registers, then waits for the notice; exits 0 once it came.
[[noreturn]] void ClientProcess(int readyFd) {
    bool noticed = false;
    auto endpoint =
        platform::CopyDataEndpoint::Open("scope", [&](const platform::CopyDataMessage& m) {
            if (m.code == protocol::kCodeModeChanged && m.data.empty()) noticed = true;
            return int64_t{0};
        });
    if (!endpoint) ::_exit(2);
    char name[protocol::kClientNameBytes] = "scope";
    auto r = platform::CopyDataSend(protocol::kServerTitle, protocol::kCodeClientRegister,
                                    sizeof name, name, sizeof name);
    char ok = r && r.value() == 0 ? 1 : 0;
    (void)!::write(readyFd, &ok, 1);
    for (int i = 0; i < 100 && !noticed; ++i) endpoint.value()->WaitAndPump(100);
    ::_exit(noticed ? 0 : 1);
}

TEST(ModeNotice, ARegisteredClientHearsOfTheModeSwitch) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898}, 30000));
    host::ServerHost server;
    ASSERT_EQ(server.Start(), host::kRunning);
    ASSERT_NE(server.Endpoint(), nullptr);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) ClientProcess(ready[1]);
    // The server's loop would pump; here the test does, until the client is known.
    for (int i = 0; i < 50 && server.Engine().Clients().Find("scope") < 0; ++i) {
        server.Endpoint()->WaitAndPump(100);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 1);  // the server answered the registration with 0
    ASSERT_EQ(server.Engine().Clients().Find("scope"), 0);

    EXPECT_EQ(server.Engine().SwitchMode(engine::kModeSync), engine::ModeSwitch::kSwitched);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(server.Engine().LastError(), "");

    // A client that is gone is noted and skipped.
    server.Engine().Clients().Add("gone");
    server.Engine().ReloadConfig(1);  // takes mode 2 back from the file
    EXPECT_EQ(server.Engine().SwitchMode(engine::kModeAsync), engine::ModeSwitch::kSwitched);
    EXPECT_EQ(server.Engine().LastError(), engine::kClientNotFound);
    server.Shutdown();
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(ModeNotice, ClientsThatNeverReadDoNotHoldUpTheSwitch) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898}, 30000));
    host::ServerHost server;
    ASSERT_EQ(server.Start(), host::kRunning);
    // A full client table of endpoints that exist but are not read until the end.
    int noticed = 0;
    std::vector<std::unique_ptr<platform::CopyDataEndpoint>> clients;
    for (int i = 0; i < engine::kMaxClientNames; ++i) {
        const std::string name = "mute" + std::to_string(i);
        auto endpoint =
            platform::CopyDataEndpoint::Open(name, [&](const platform::CopyDataMessage& m) {
                if (m.code == protocol::kCodeModeChanged) ++noticed;
                return int64_t{0};
            });
        ASSERT_TRUE(endpoint) << endpoint.error().text;
        clients.push_back(std::move(endpoint.value()));
        server.Engine().Clients().Add(name.c_str());
    }

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Engine().SwitchMode(engine::kModeSync), engine::ModeSwitch::kSwitched);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // Each of them has its notice waiting.
    for (auto& client : clients) client->Pump();
    EXPECT_EQ(noticed, engine::kMaxClientNames);
    EXPECT_EQ(server.Engine().LastError(), "");
    server.Shutdown();
}

TEST(ModeSwitch, AModeFileThatCannotBeWrittenRefusesTheSwitchAndSamplingGoesOn) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898}, 30000));
    TempDir dir;
    Process sim("vantor-boardsim", {"--endpoint", dir.File("bus"), "--card", "0x24@0x2E0"});
    ASSERT_TRUE(sim.WaitFor("ready", false, 5000)) << sim.Err();
    ScopedEnv port("VANTOR_PORT_DEVICE", ("unix:" + dir.File("bus")).c_str());
    const std::string modeFile = std::string(std::getenv("VANTOR_CONFIG_DIR")) + "/AcqCfg.ini";
    WriteFile(modeFile, "[HK]\nMODE=1\n");
    host::ServerHost server;
    ASSERT_EQ(server.Start(), host::kRunning);
    ASSERT_EQ(server.BoardModel(), "PCM 8603");
    ASSERT_TRUE(server.Engine().IsAcquisitionRunning());

    // Something no write can replace takes the file's place.
    std::filesystem::remove(modeFile);
    std::filesystem::create_directory(modeFile);
    const int64_t answer =
        server.OnCopyData({protocol::kCodeSetMode, engine::kModeSync, std::string_view()});

    EXPECT_EQ(answer, protocol::kModeNotWritten);
    EXPECT_EQ(server.DisplayMode(), engine::kModeAsync);
    EXPECT_TRUE(server.Engine().IsAcquisitionRunning());
    server.Shutdown();
    std::filesystem::remove(modeFile);
}

}  // namespace
}  // namespace vantor::test
