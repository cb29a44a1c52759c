// CHardWare in this process: the configuration it follows, what Run takes
// from a message, the made-up values of MODE 3, MODE 1 without a server, and
// MODE 2 on a card that vantor-boardsim serves from another process.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/CopyDataBus.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"
#include "vantor/CHardWare.h"

namespace vantor::test {
namespace {

// Reaches the protected members, as a derived client class may.
class Hardware : public CHardWare {
public:
    using CHardWare::Average;
    using CHardWare::digitalResult;
    using CHardWare::frequencyReply;
    using CHardWare::ReadConfigFile;
    using CHardWare::stateBlock;
    int ReplyCount() const { return analogReplyCount; }
    float Reply(int i) const { return analogReply[i]; }
    void SetMode(MODE m) { mode = m; }
};

COPYDATASTRUCT Message(uint32_t code, uint64_t dataWord, const void* data, size_t size) {
    return {code, dataWord, std::string_view(static_cast<const char*>(data), size)};
}

class Client : public ::testing::Test {
protected:
    void WriteConfig(const std::string& file, const std::string& text) {
        WriteFile(std::string(std::getenv("VANTOR_CONFIG_DIR")) + "/" + file, text);
    }
    void TearDown() override {
        std::remove((std::string(std::getenv("VANTOR_CONFIG_DIR")) + "/AcqCfg.ini").c_str());
    }
};

TEST_F(Client, FollowsTheModeInTheConfigurationAndNamesAnyOtherModeAsynchronous) {
    Hardware hw;
    EXPECT_EQ(hw.ReadConfigFile(), 1);  // no AcqCfg.ini: the constructor's MODE 2 stays
    EXPECT_EQ(hw.Mode(), MODE_SYNC);
    WriteConfig("AcqCfg.ini", "[HK]\nMODE=3\n");
    EXPECT_EQ(hw.ReadConfigFile(), 1);
    EXPECT_EQ(hw.Mode(), MODE_SIM);
    WriteConfig("AcqCfg.ini", "[HK]\nMODE=4\n");
    EXPECT_EQ(hw.ReadConfigFile(), 0);
    EXPECT_EQ(hw.Mode(), MODE_ASYNC);
}

TEST_F(Client, RunTakesRepliesWithinTheirFieldsAndIgnoresUnknownCodes) {
    Hardware hw;
    hw.frequencyReply = 7.5F;
    // A digital reply's level word: any non-zero value is high.
    {
        CHardWare::DigitalRecord reply{};
        reply.level = 5;
        const COPYDATASTRUCT m = Message(1144, sizeof reply, &reply, sizeof reply);
        hw.Run(&m);
        EXPECT_EQ(hw.digitalResult, HIGH);
    }
    // An analog reply of more than 1000 samples is cut to 1000; the value
    // after the reply's field is untouched.
    std::vector<float> many(1200, 2.0F);
    COPYDATASTRUCT m = Message(1194, many.size(), many.data(), many.size() * sizeof(float));
    hw.Run(&m);
    EXPECT_EQ(hw.ReplyCount(), 1000);
    EXPECT_EQ(hw.frequencyReply, 7.5F);
    // A data word above what the payload carries takes only the payload.
    const float two[2] = {1.0F, 3.0F};
    m = Message(1194, 10, two, sizeof two);
    hw.Run(&m);
    EXPECT_EQ(hw.ReplyCount(), 2);
    EXPECT_EQ(hw.Reply(1), 3.0F);
    // An unknown code, a short state block and no message change nothing.
    const char junk[84] = {1, 2, 3};
    m = Message(1999, sizeof junk, junk, sizeof junk);
    hw.Run(&m);
    m = Message(1154, 4, junk, 4);
    hw.Run(&m);
    hw.Run(nullptr);
    EXPECT_EQ(hw.ReplyCount(), 2);
    EXPECT_EQ(hw.stateBlock.sine, 0);
    EXPECT_EQ(hw.digitalResult, HIGH);
    // A whole state block replaces the one MODE 3 reads.
    CHardWare::StateRecord state{};
    state.level[4] = 1;
    m = Message(1154, sizeof state, &state, sizeof state);
    hw.Run(&m);
    hw.SetMode(MODE_SIM);
    EXPECT_EQ(hw.InPutDig(4), HIGH);
    EXPECT_EQ(hw.InPutDig(16), LOW);
    EXPECT_EQ(hw.InPutDig(-1), LOW);
}

TEST_F(Client, SimulatedModeMakesUpASinePeriodOrAConstantAndBoundedCounts) {
    WriteConfig("AcqCfg.ini", "[HK]\nMODE=3\n");
    Hardware hw;
    hw.Open("sim-client");
    ASSERT_EQ(hw.Mode(), MODE_SIM);
    hw.stateBlock.sine = 1;
    hw.stateBlock.amplitude = 10.0F;
    float v[4] = {};
    ASSERT_EQ(hw.GetAnalog(0, v, 4), 4);
    const float sine[4] = {0.0F, 10.0F, 0.0F, -10.0F};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(v[i], sine[i], 1e-5) << i;
    hw.stateBlock.sine = 0;
    float c[7] = {};
    EXPECT_EQ(hw.GetAnalog(32, c, 7), 7);
    for (float x : c) EXPECT_EQ(x, 10.0F);
    float untouched[10] = {};
    std::fill(std::begin(untouched), std::end(untouched), -3.0F);
    EXPECT_EQ(hw.GetAnalog(33, untouched, 10), -1);
    for (float x : untouched) EXPECT_EQ(x, -3.0F);
    for (int i = 0; i < 200; ++i) {
        const int count = hw.GetEnc3(500);
        const float hz = hw.GetFreb(200);
        ASSERT_TRUE(count >= 0 && count <= 40) << count;
        ASSERT_TRUE(hz >= 0.0F && hz <= 40.0F) << hz;
    }
    float one = 4.5F;
    EXPECT_EQ(hw.Average(&one, 1), 4.5F);
    float three[3] = {1.0F, 2.0F, 4.0F};
    EXPECT_EQ(hw.Average(three, 3), 7.0F / 3.0F);
    hw.Close();
}

TEST_F(Client, AsynchronousWithoutAServerReportsOnceAndWaitsOnlyItsBound) {
    WriteConfig("AcqCfg.ini", "[HK]\nMODE=1\n");
    TempDir noServer;
    ScopedEnv dir("VANTOR_SERVER_DIR", noServer.Path().c_str());
    Hardware hw;
    std::vector<std::string> notices;
    hw.SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
    const auto start = std::chrono::steady_clock::now();
    hw.Open("lonely");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(hw.Mode(), MODE_ASYNC);
    EXPECT_EQ(notices, std::vector<std::string>{"请先手动启动Vantor"});
    EXPECT_EQ(hw.GetErrMsg(), "添加客户名字失败");
    EXPECT_GE(hw.EndpointFd(), 0);

    // A read keeps the previous reply's value after its bounded wait.
    hw.digitalResult = HIGH;
    hw.SetReplyTimeout(100);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(hw.InPutDig(3), HIGH);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(100));
    EXPECT_EQ(hw.GetErrMsg(), "没有找到服务器，数字数据读出失败");
    hw.OutPutDig(3, HIGH);
    EXPECT_EQ(hw.GetErrMsg(), "没有找到服务器，数字数据写入失败");
    hw.ResetCNT();
    EXPECT_EQ(hw.GetErrMsg(), "没有找到服务器，ENC复位失败");
    float many[1500];
    std::fill(std::begin(many), std::end(many), -1.0F);
    EXPECT_EQ(hw.GetAnalog(0, many, 1500), 0);
    EXPECT_EQ(many[1499], -1.0F);  // nothing beyond the 1000 a reply holds
    hw.Close();
    EXPECT_EQ(hw.GetErrMsg(), "删除客户失败");
    EXPECT_EQ(notices.size(), 1U);
}

// A server endpoint that queues its reply before its handler returns: the
// reply is there before the client's call waits for it (or while it still
// sends), and must not be lost.
TEST_F(Client, AReplyArrivingBeforeTheWaitIsKeptAndALateOneAnswersNoLaterCall) {
    WriteConfig("AcqCfg.ini", "[HK]\nMODE=1\n");
    std::atomic<bool> stop{false};
    std::atomic<bool> ready{false};
    std::atomic<int> requests{0};
    std::thread server([&] {
        auto endpoint = platform::CopyDataEndpoint::Open(
            "Vantor", [&](const platform::CopyDataMessage& m) -> int64_t {
                if (m.code != 1204 || m.data.size() < 104) return 0;
                // The second request goes unanswered: its call gives up.
                if (++requests == 2) return 0;
                const float hz = 42.0F;
                (void)platform::CopyDataPost(std::string(m.data.data()), 1204, 4, &hz, 4, 1000);
                return 0;
            });
        ready = endpoint.ok();
        while (endpoint && !stop) endpoint.value()->WaitAndPump(10);
    });
    ASSERT_TRUE(Eventually([&] { return ready.load(); }));
    Hardware hw;
    hw.Open("early");
    ASSERT_EQ(hw.Mode(), MODE_ASYNC);
    EXPECT_EQ(hw.GetFreb(201), 42.0F);
    // The unanswered call's reply comes late, between two calls: the next
    // call must read its own answer, not that one.
    hw.SetReplyTimeout(100);
    hw.GetFreb(202);
    const float late = 7.0F;
    ASSERT_TRUE(platform::CopyDataPost("early", 1204, 4, &late, 4, 1000));
    hw.SetReplyTimeout(5000);
    EXPECT_EQ(hw.GetFreb(203), 42.0F);
    hw.Close();
    stop = true;
    server.join();
}

// MODE 2 on the client's own card, served by vantor-boardsim.
class SyncClient : public Client {
protected:
    void SetUp() override {
        sim = std::make_unique<ChildProcess>(
            "vantor-boardsim",
            std::vector<std::string>{"--endpoint", dir.File("bus"), "--card", "0x24@0x2E0",
                                     "--analog", "2=1.25", "--din", "8001"});
        ASSERT_TRUE(sim->WaitForText("ready", false)) << sim->Stderr();
        port =
            std::make_unique<ScopedEnv>("VANTOR_PORT_DEVICE", ("unix:" + dir.File("bus")).c_str());
        WriteConfig("AcqCfg.ini", "[HK]\nMODE=2\n");
    }
    TempDir dir;
    std::unique_ptr<ChildProcess> sim;
    std::unique_ptr<ScopedEnv> port;
};

TEST_F(SyncClient, ReadsAndDrivesItsOwnCardAndCopiesCloseItOnce) {
    auto owner = std::make_unique<Hardware>();
    Hardware& hw = *owner;
    hw.Open("sync-client");
    ASSERT_EQ(hw.Mode(), MODE_SYNC);
    float v[5] = {};
    EXPECT_EQ(hw.GetAnalog(2, v, 5), 0);  // the board's result, not a count
    for (float x : v) EXPECT_NEAR(x, 1.25F, 10.0F / 4096);
    EXPECT_EQ(hw.InPutDig(0), HIGH);
    EXPECT_EQ(hw.InPutDig(15), HIGH);
    EXPECT_EQ(hw.InPutDig(7), LOW);
    hw.OutPutDig(3, HIGH);
    EXPECT_TRUE(sim->WaitForText("out 0x2E4 0x08", false)) << sim->Stdout().substr(0, 400);
    // Channels the card does not have: neutral values, no card access.
    EXPECT_EQ(hw.GetEnc3(502), 0);
    EXPECT_EQ(hw.GetFreb(204), 0.0F);

    // Copies share the open board: a close through either closes it once,
    // and a descriptor opened after it is never closed by the other copy.
    auto copy = std::make_unique<Hardware>(hw);
    EXPECT_EQ(copy->InPutDig(0), HIGH);
    hw.Close();
    EXPECT_EQ(copy->InPutDig(0), LOW);  // closed for both
    const int reused = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(reused, 0);
    copy->Close();
    owner.reset();
    copy.reset();
    EXPECT_NE(::fcntl(reused, F_GETFD), -1) << "a copy closed a descriptor it did not own";
    ::close(reused);
}

}  // namespace
}  // namespace vantor::test
