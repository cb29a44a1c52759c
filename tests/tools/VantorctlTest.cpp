// vantorctl against a real shared data block made by the test process, and
// its peer's lists and refusals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Cli.h"
#include "Peer.h"
#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "protocol/ServerStatus.h"
#include "support/ForkedChild.h"
#include "support/TestEnv.h"

namespace {

using vantor::platform::SharedMemoryObject;
using vantor::protocol::AcqRequest;
using vantor::protocol::BuildConnectRequest;
using vantor::protocol::ChannelList;
using vantor::protocol::CSharedMemory;
using vantor::protocol::ParseChannelList;
using vantor::protocol::ParsePortText;
using vantor::protocol::PeerDescription;
using vantor::protocol::SharedBlock;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

Outcome Ctl(const std::vector<std::string>& args, bool tty = false) {
    std::ostringstream out;
    std::ostringstream err;
    vantor::ctl::Console console{out, err, tty, false};
    int code = vantor::ctl::RunCli(args, console);
    return {code, out.str(), err.str()};
}

void RemoveBlock() {
    SharedMemoryObject::Unlink(vantor::platform::ShmName("NXSharedMemory"));
    SharedMemoryObject::Unlink(vantor::platform::ShmName("NXSharedMemoryMutex"));
}

std::string NoBlockMessage() {
    return "no shared data block: is the server running? (namespace '" +
           vantor::platform::IpcNamespace() + "')";
}

// A block as the server would leave it, with known values in every region.
class VantorctlBlock : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveBlock();
        ASSERT_TRUE(m_block.Create("NXSharedMemory", 65900)) << m_block.LastError();
        m_shared = static_cast<SharedBlock*>(m_block.GetData());
        SharedBlock& b = *m_shared;
        b.headMark = vantor::protocol::kHeadMark;
        b.firstRingOffset = 136;
        b.tailMark = vantor::protocol::kTailMark;
        b.digitalIn[3] = 1;
        b.digitalIn[15] = 1;
        b.digitalOutRequest[7] = 1;
        b.frequencySlot[2].value = 12.5F;
        b.counterHold[1] = 1;
        b.counterValue[2] = 42.0F;
        for (int i = 1; i <= 1500; ++i) vantor::protocol::PushSample(b, 5, static_cast<float>(i));
        vantor::protocol::PushSample(b, 0, std::nanf(""));
        vantor::protocol::PushSample(b, 1, 0.1F);
    }
    void TearDown() override { RemoveBlock(); }

    // The whole block as bytes, to prove what a command did or did not touch.
    std::string Bytes() const {
        return std::string(reinterpret_cast<const char*>(m_shared), sizeof(SharedBlock));
    }

    CSharedMemory m_block;
    SharedBlock* m_shared = nullptr;
};

TEST_F(VantorctlBlock, TextAndJsonDumpsShowEveryRegionExactly) {
    Outcome r = Ctl({"dump", "--samples", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    const char* expected[] = {
        "marks: headMark 0x55AAAA55  tailMark 0xBBEEEEBB  firstRingOffset 136\n",
        "digitalIn          0..7: 0 0 0 1 0 0 0 0   8..15: 0 0 0 0 0 0 0 1\n",
        "digitalOutRequest  0..7: 0 0 0 0 0 0 0 1   8..15: 0 0 0 0 0 0 0 0\n",
        "           202  0          12.5\n",
        "           301  1          0\n",
        "           302  0          42\n",
        "           5    477    476  1023 1500 1499 1498\n",
        "           1    0      1    1    0.1\n",
        "           15   0      0    0\n",
    };
    for (const char* line : expected) EXPECT_NE(r.out.find(line), std::string::npos) << line;
    EXPECT_EQ(r.err, "");

    r = Ctl({"dump", "--json", "--samples", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    const char* json[] = {
        "\"size\": 65900,",
        "\"headMark\": 1437248085,",
        "\"tailMark\": 3152998075,",
        "\"digitalIn\": [0,0,0,1,0,0,0,0,0,0,0,0,0,0,0,1],",
        "\"digitalOutRequest\": [0,0,0,0,0,0,0,1,0,0,0,0,0,0,0,0],",
        "{\"id\": 202, \"resetFlag\": 0, \"value\": 12.5}",
        "\"counterHold\": [0,1,0,0],",
        "\"counterValue\": [0,0,42,0],",
        "{\"channel\": 5, \"oldest\": 477, \"next\": 476, \"fill\": 1023, \"newest\": [1500,1499]}",
        // Not-a-number cannot be written in JSON; 0.1f comes back exactly from 9 digits.
        "{\"channel\": 0, \"oldest\": 0, \"next\": 1, \"fill\": 1, \"newest\": [null]}",
        "\"newest\": [0.100000001]}",
    };
    for (const char* piece : json) EXPECT_NE(r.out.find(piece), std::string::npos) << piece;
    EXPECT_EQ(r.out.find("nan"), std::string::npos);
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
}

TEST_F(VantorctlBlock, WritesChangeOnlyTheirWord) {
    std::string before = Bytes();
    ASSERT_EQ(Ctl({"set-output", "7", "0"}).code, 0);
    ASSERT_EQ(Ctl({"set-output", "15", "1"}).code, 0);
    Outcome held = Ctl({"hold", "3", "1"});
    ASSERT_EQ(held.code, 0) << held.err;
    EXPECT_EQ(held.out, "counterHold[3] = 1\n");
    ASSERT_EQ(Ctl({"hold", "1", "0"}).code, 0);

    SharedBlock expected;
    std::memcpy(&expected, before.data(), sizeof expected);
    expected.digitalOutRequest[7] = 0;
    expected.digitalOutRequest[15] = 1;
    expected.counterHold[3] = 1;
    expected.counterHold[1] = 0;
    EXPECT_EQ(std::memcmp(&expected, m_shared, sizeof expected), 0);
}

TEST_F(VantorctlBlock, BadArgumentsExitTwoAndLeaveTheBlockAlone) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"set-output", "16", "1"}, "LINE must be 0..15 (got 16)"},
        {{"set-output", "-1", "0"}, "LINE must be 0..15 (got -1)"},
        {{"set-output", "3", "2"}, "LEVEL must be 0 or 1 (got 2)"},
        {{"hold", "4", "1"}, "COUNTER must be 0..3"},
        {{"hold", "0", "-1"}, "must be 0 (run) or 1 (hold) (got -1)"},
        {{"dump", "--samples", "1024"}, "--samples must be 0..1023 (got 1024)"},
        {{"watch", "--interval", "0"}, "--interval must be"},
        {{"set-output", "3"}, "LEVEL"},
        {{"set-output", "x", "1"}, "LINE"},
        {{"frobnicate"}, "frobnicate"},
        {{}, "a subcommand is required"},
    };
    std::string before = Bytes();
    for (const Case& c : cases) {
        Outcome r = Ctl(c.args);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.message;
    }
    EXPECT_TRUE(Bytes() == before);
}

TEST_F(VantorctlBlock, WatchRepeatsTheDump) {
    std::string frame = Ctl({"dump"}).out;
    ASSERT_FALSE(frame.empty());
    Outcome piped = Ctl({"watch", "--count", "3", "--interval", "10"});
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, frame + "\n" + frame + "\n" + frame);

    Outcome tty = Ctl({"watch", "--count", "2", "--interval", "10"}, true);
    ASSERT_EQ(tty.code, 0) << tty.err;
    const std::string clear = "\x1b[H\x1b[2J";
    EXPECT_EQ(tty.out, clear + frame + clear + frame);
}

// The take-over itself is the mutex's (platform tests); the user is told of it.
TEST_F(VantorctlBlock, MutexLeftByADeadHolderIsTakenOverAndNoted) {
    vantor::test::ForkedChild holder([] {
        CSharedMemory other;
        if (!other.Create("NXSharedMemory", 65900)) return 3;
        other.Lock();
        ::_exit(0);  // dies holding the mutex, still mapped
    });
    ASSERT_EQ(holder.Wait(), 0);

    Outcome r = Ctl({"set-output", "2", "1"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("taken over"), std::string::npos) << r.err;
    EXPECT_EQ(m_shared->digitalOutRequest[2], 1);
}

// A server killed outright leaves its block and status file behind: the
// dump names the server only while the process that wrote the file runs.
TEST_F(VantorctlBlock, StatusOfAServerThatHasEndedIsNoRunningServer) {
    vantor::test::ForkedChild ended([] { return 0; });
    ASSERT_EQ(ended.Wait(), 0);
    const long dead = ended.Pid();
    auto status = [](long pid) {
        return "board=PCM 8603\nmode=1\npid=" + std::to_string(pid) + "\n";
    };
    const std::string path = vantor::protocol::ServerStatusPath();
    ASSERT_FALSE(path.empty());

    vantor::test::WriteFile(path, status(dead));
    Outcome text = Ctl({"dump", "--samples", "0"});
    EXPECT_NE(text.out.find("server: no running server"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("PCM 8603"), std::string::npos);
    EXPECT_NE(Ctl({"dump", "--json"}).out.find("\"server\": null,"), std::string::npos);

    // No process has such a pid; cut to a pid_t either would be -1, which
    // kill() takes for "every process".
    for (const char* pid : {"4294967295", "99999999999999999999"}) {
        vantor::test::WriteFile(path, std::string("board=PCM 8603\nmode=1\npid=") + pid + "\n");
        EXPECT_EQ(Ctl({"dump", "--samples", "0"}).out.find("PCM 8603"), std::string::npos) << pid;
    }

    vantor::test::WriteFile(path, status(::getpid()));
    EXPECT_NE(Ctl({"dump"}).out.find("server: board PCM 8603, mode 1"), std::string::npos);
    ::unlink(path.c_str());
}

TEST(Vantorctl, NoBlockExitsTwoWithoutCreatingOne) {
    RemoveBlock();
    const std::vector<std::string> commands[] = {
        {"dump"}, {"watch", "--count", "1"}, {"set-output", "1", "1"}, {"hold", "1", "1"}};
    for (const auto& args : commands) {
        Outcome r = Ctl(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find(NoBlockMessage()), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    auto probe = SharedMemoryObject::OpenExisting(vantor::platform::ShmName("NXSharedMemory"), 1);
    EXPECT_FALSE(probe);
    EXPECT_EQ(probe.error().code, ENOENT);
}

TEST(PeerLists, ParsesIdsWithOptionalSamples) {
    ChannelList list;
    std::string error;
    ASSERT_TRUE(ParseChannelList("3:20, 5", 0, 15, true, list, error)) << error;
    EXPECT_EQ(list, (ChannelList{{3, 20}, {5, 0}}));
    ASSERT_TRUE(ParseChannelList("", 0, 15, true, list, error));
    EXPECT_TRUE(list.empty());
    for (const char* bad : {"16", "-1", "3:0", "3:1001", "x", "3,3", "3,", "3:", ",3"}) {
        EXPECT_FALSE(ParseChannelList(bad, 0, 15, true, list, error)) << bad;
    }
    EXPECT_FALSE(ParseChannelList("200:5", 200, 207, false, list, error));
    EXPECT_NE(error.find("only for analog"), std::string::npos);
}

TEST(PeerLists, ConnectRequestCarriesTextAndEveryList) {
    PeerDescription o{.name = " probe1 ",
                      .analog = "3:20,5",
                      .freq = "201",
                      .counter = "300,303",
                      .din = "1",
                      .dout = "4",
                      .peerCount = 5,
                      .peerExtra = 7};
    AcqRequest r{};
    std::string error;
    ASSERT_TRUE(BuildConnectRequest(o, r, error)) << error;
    EXPECT_STREQ(r.text, "CONNECT,probe1,vantorctl,127.0.0.1,5,7");
    EXPECT_EQ(r.analogCount, 2);
    EXPECT_EQ(r.analogSamples[0], 20);
    EXPECT_EQ(r.analogIds[1], 5);
    EXPECT_EQ(r.frequencyIds[0], 201);
    EXPECT_EQ(r.counterCount, 2);
    EXPECT_EQ(r.digitalInIds[0], 1);
    EXPECT_EQ(r.digitalOutIds[0], 4);
    EXPECT_EQ(r.digitalOutIds[1], -1);

    o.name = "a,b";
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
    o.name.assign(128, 'n');
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
    o.name = "ok";
    o.counter = "300,301,302,303,300";
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
}

TEST(PeerLists, PortTextNamesThePeerAndItsPort) {
    std::string name;
    int port = 0;
    ASSERT_TRUE(ParsePortText("PORT,probe1,9003", name, port));
    EXPECT_EQ(name, "probe1");
    EXPECT_EQ(port, 9003);
    EXPECT_FALSE(ParsePortText("CONNECT,probe1,9003", name, port));
    EXPECT_FALSE(ParsePortText("PORT,probe1", name, port));
    EXPECT_FALSE(ParsePortText("PORT,probe1,x", name, port));
}

TEST(PeerCli, UsageErrorsEndWithTwoBeforeAnythingIsSent) {
    const std::vector<std::string> cases[] = {{"peer"},
                                              {"peer", "--name", "p", "--analog", "17"},
                                              {"peer", "--name", "p", "--every", "0"},
                                              {"peer", "--name", " "}};
    for (const auto& args : cases) {
        const Outcome r = Ctl(args);
        EXPECT_EQ(r.code, vantor::ctl::kExitUsage) << args.back();
        EXPECT_EQ(r.out.find("CONNECT to"), std::string::npos);
    }
}

}  // namespace
