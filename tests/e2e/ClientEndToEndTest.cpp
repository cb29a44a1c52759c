// End to end: client programs (CHardWare, linked from the shared library) and
// the real server in another process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "faults/FaultFixture.h"
#include "protocol/ServerStatus.h"
#include "vantor/CHardWare.h"

namespace vantor::test {
namespace {

class ClientEndToEnd : public ServerFault {
protected:
    void SetUp() override {
        ServerFault::SetUp();
        configEnv = std::make_unique<ScopedEnv>("VANTOR_CONFIG_DIR", config.Path().c_str());
    }
    // The server on the card vantor-boardsim serves, or on the simulated
    // board when card is false.
    void Serve(bool card) {
        if (card) {
            sim = StartSim(
                {}, {},
                {"--analog", "2=1.25", "--din", "8001", "--freq", "1=50", "--counter", "0=1234"});
        }
        server = StartServer();
        ASSERT_TRUE(Attach());
    }
    void TearDown() override {
        if (server) {
            server->Signal(SIGTERM);
            EXPECT_EQ(server->ExitCode(), 0) << server->Stderr();
        }
    }
    template <typename Fn>
    auto FromBlock(Fn fn) {
        protocol::BlockLock lock(block);
        return fn(Block());
    }
    size_t Registrations(const std::string& name) const {
        const std::string err = server->Stderr();
        const std::string line = "client registered: " + name + "\n";
        size_t n = 0;
        for (size_t at = err.find(line); at != std::string::npos; at = err.find(line, at + 1)) ++n;
        return n;
    }

    std::unique_ptr<ScopedEnv> configEnv;
    std::unique_ptr<ChildProcess> sim;
    std::unique_ptr<ChildProcess> server;
};

TEST_F(ClientEndToEnd, AsynchronousClientGetsTheCardsSamplesAndHearsOfAModeSwitch) {
    Serve(true);
    CHardWare hw;
    hw.Open("reader1");
    ASSERT_EQ(hw.Mode(), MODE_ASYNC);
    EXPECT_EQ(hw.GetErrMsg(), "");

    // The channel joins the server's request on the first call; the samples
    // are the newest of its ring.
    std::vector<float> v(20, -99.0F);
    const int n = hw.GetAnalog(2, v.data(), 20);
    ASSERT_GT(n, 0);
    float newest = 0;
    ASSERT_EQ(FromBlock([&](const protocol::SharedBlock& b) {
                  return protocol::NewestSamples(b.analogRing[2], &newest, 1);
              }),
              1);
    for (int i = 0; i < n; ++i) EXPECT_EQ(v[static_cast<size_t>(i)], newest) << i;
    EXPECT_NEAR(newest, 1.25F, 10.0F / 4096);

    // The first measurement of a frequency takes a gate period.
    float hz = 0.0F;
    EXPECT_TRUE(Eventually([&] { return (hz = hw.GetFreb(201)) > 0.0F; }));
    EXPECT_EQ(hz,
              FromBlock([](const protocol::SharedBlock& b) { return b.frequencySlot[1].value; }));
    const int count = hw.GetEnc3(300);
    EXPECT_EQ(count, FromBlock([](const protocol::SharedBlock& b) {
                  return static_cast<int>(b.counterValue[0]);
              }));

    EXPECT_EQ(hw.InPutDig(0), HIGH);
    EXPECT_EQ(hw.InPutDig(15), HIGH);
    EXPECT_EQ(hw.InPutDig(7), LOW);
    hw.OutPutDig(3, HIGH);
    EXPECT_TRUE(sim->WaitForText("out 0x2E4 0x08", false)) << sim->Stdout().substr(0, 400);
    EXPECT_EQ(hw.GetErrMsg(), "");

    // A mode switch tells the client, which registers again.
    ASSERT_TRUE(Eventually([&] { return Registrations("reader1") == 1; }));
    EXPECT_EQ(hw.InPutDig(7), LOW);
    ChildProcess toSync("vantorctl", {"mode", "2"});
    ASSERT_EQ(toSync.ExitCode(), 0) << toSync.Stderr();
    // The notice waits on the client's endpoint until the client pumps it.
    EXPECT_TRUE(Eventually([&] {
        hw.SwitchCpu();
        return Registrations("reader1") == 2;
    })) << server->Stderr();
    // In synchronous mode the server answers nothing: the read keeps the
    // last reply's level although input 0 is high in the block.
    ASSERT_EQ(FromBlock([](const protocol::SharedBlock& b) { return b.digitalIn[0]; }), 1);
    hw.SetReplyTimeout(200);
    EXPECT_EQ(hw.InPutDig(0), LOW);
    hw.Close();
}

TEST_F(ClientEndToEnd, TwoClientsAtOnceEachGetTheirOwnRepliesAndCountersReset) {
    Serve(false);
    std::atomic<int> wrong{0};
    auto work = [&](const std::string& name, int line) {
        CHardWare hw;
        hw.Open(name);
        hw.OutPutDig(line, HIGH);
        if (!Eventually([&] { return hw.InPutDig(line) == HIGH; })) ++wrong;
        std::vector<float> v(50);
        for (int i = 0; i < 100; ++i) {
            if (hw.GetAnalog(line, v.data(), 50) <= 0) ++wrong;
            if (hw.InPutDig(line) != HIGH) ++wrong;
        }
        hw.Close();
    };
    std::thread a(work, "twin-a", 1);
    std::thread b(work, "twin-b", 2);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);

    // The simulated counter counts cycles; a reset starts it again from 0.
    CHardWare hw;
    hw.Open("resetter");
    int before = 0;
    EXPECT_TRUE(Eventually([&] { return (before = hw.GetEnc3(500)) > 200; }));
    hw.ResetCNT();
    EXPECT_TRUE(Eventually([&] { return hw.GetEnc3(500) < before / 2; }));
    EXPECT_EQ(hw.GetErrMsg(), "");
    hw.Close();
}

TEST_F(ClientEndToEnd, AsynchronousOpenStartsTheServerWhenNoneRuns) {
    CHardWare hw;
    std::vector<std::string> notices;
    hw.SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
    hw.Open("starter");
    EXPECT_TRUE(notices.empty());
    std::optional<protocol::ServerStatus> status;
    ASSERT_TRUE(Eventually([&] { return (status = protocol::ReadServerStatus()).has_value(); }));
    // Started detached, in a session of its own, and it answers.
    const auto pid = static_cast<pid_t>(status->pid);
    EXPECT_EQ(::getsid(pid), pid);
    hw.OutPutDig(6, HIGH);
    EXPECT_TRUE(Eventually([&] { return hw.InPutDig(6) == HIGH; }));
    hw.Close();
    ::kill(pid, SIGTERM);
    // Its clean exit removes the status file. The test main adopts orphans,
    // so the server is reaped here.
    EXPECT_TRUE(Eventually([&] { return !protocol::ReadServerStatus().has_value(); }));
    int wstatus = 0;
    if (::waitpid(pid, &wstatus, 0) == pid) {
        EXPECT_EQ(wstatus, 0);
    }
}

}  // namespace
}  // namespace vantor::test
