// The peer table, with a clock the test turns by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "EngineTestSupport.h"
#include "engine/PeerTable.h"
#include "platform/Trace.h"

namespace vantor::engine {
namespace {

using test_support::Analog;
using test_support::Numbered;

class PeerTableTest : public ::testing::Test {
protected:
    int Add(const char* name, const AcqRequest& r = EmptyRequest()) {
        return sut.AddOrRefreshPeer(name, "127.0.0.1", 5, 7, r);
    }
    std::string Names() {
        std::string out;
        for (const PeerEntry& e : sut.Entries()) {
            out += e.name;
            out += ':';
            out += std::to_string(e.port);
            out += ' ';
        }
        return out;
    }

    int64_t now = 1000;
    PeerTable sut{[this] { return now; }};
};

TEST_F(PeerTableTest, RemovalKeepsOrderAndFreesThePortForTheNextPeer) {
    Add("p1");
    Add("p2");
    Add("p3");
    EXPECT_EQ(Names(), "p1:9000 p2:9001 p3:9002 ");
    EXPECT_EQ(sut.RemovePeer("  P1 "), 1);
    EXPECT_EQ(Names(), "p2:9001 p3:9002 ");
    Add("p4");
    EXPECT_EQ(Names(), "p2:9001 p3:9002 p4:9000 ");
    EXPECT_EQ(sut.RemovePeer("nobody"), 1);
    EXPECT_EQ(sut.Count(), 3);
}

TEST_F(PeerTableTest, RefreshIgnoresCaseAndSpacesAndUpdatesTheEntry) {
    Add("ABC", Analog({{1, 0}}));
    now = 4000;
    EXPECT_EQ(sut.AddOrRefreshPeer(" abc ", "10.0.0.1", 8, 9, Analog({{2, 0}})), kPeerAccepted);
    ASSERT_EQ(sut.Count(), 1);
    PeerEntry e = sut.Entries()[0];
    EXPECT_STREQ(e.name, "ABC");
    EXPECT_STREQ(e.host, "127.0.0.1");  // the host is kept from the first CONNECT
    EXPECT_EQ(e.peerCount, 8);
    EXPECT_EQ(e.peerExtra, 9);
    EXPECT_EQ(e.refreshed, 4000);
    EXPECT_EQ(e.request.analogIds[0], 2);
}

TEST_F(PeerTableTest, RefusalsLeaveTheTableAloneAndAFullOneKeepsRefreshingItsPeers) {
    EXPECT_EQ(sut.RemovePeer("x"), 0);  // empty table
    EXPECT_EQ(sut.AddOrRefreshPeer(nullptr, "h", 0, 0, EmptyRequest()), kPeerNoName);
    EXPECT_EQ(sut.AddOrRefreshPeer("   ", "h", 0, 0, EmptyRequest()), kPeerNoName);
    EXPECT_EQ(sut.AddOrRefreshPeer("n", nullptr, 0, 0, EmptyRequest()), kPeerNoHost);
    EXPECT_EQ(sut.AddOrRefreshPeer("n", "", 0, 0, EmptyRequest()), kPeerNoHost);
    EXPECT_EQ(sut.Count(), 0);
    for (int i = 0; i < kMaxPeers; ++i) ASSERT_EQ(Add(Numbered("p", i).c_str()), 1);
    EXPECT_EQ(sut.Entries().back().port, 9021);
    EXPECT_EQ(sut.RemovePeer(nullptr), -1);
    const std::string full = Names();
    for (int pass = 0; pass < 6; ++pass) {  // 30 s, each peer renewing every 5 s
        now += 5000;
        for (int i = 0; i < kMaxPeers; ++i) ASSERT_EQ(Add(Numbered("P", i).c_str()), 1);
        EXPECT_EQ(Add("p22"), kPeerTableFull);
        EXPECT_EQ(sut.AgePeers(), 0);
    }
    EXPECT_EQ(Names(), full);
}

TEST_F(PeerTableTest, LongNamesAndHostsAreCutAndStillFoundAgain) {
    std::string name(300, 'n');
    std::string host(100, 'h');
    ASSERT_EQ(sut.AddOrRefreshPeer(name.c_str(), host.c_str(), 0, 0, EmptyRequest()), 1);
    ASSERT_EQ(sut.AddOrRefreshPeer(name.c_str(), host.c_str(), 0, 0, EmptyRequest()), 1);
    ASSERT_EQ(sut.Count(), 1);
    PeerEntry e = sut.Entries()[0];
    EXPECT_EQ(std::string(e.name), name.substr(0, 127));
    EXPECT_EQ(std::string(e.host), host.substr(0, 63));
    sut.RemovePeer(name.c_str());
    EXPECT_EQ(sut.Count(), 0);
}

TEST_F(PeerTableTest, AgeingDropsAt21WholeSecondsNotBeforeAndSkipsAMovedEntry) {
    Add("old");
    now += 500;
    Add("young");
    now = 1000 + 20999;
    EXPECT_EQ(sut.AgePeers(), 0);
    EXPECT_EQ(sut.Entries()[0].lastSeen, now);
    now = 1000 + 21000;
    EXPECT_EQ(sut.AgePeers(), 1);
    EXPECT_EQ(Names(), "young:9001 ");
    now = 1500 + 21000;
    EXPECT_EQ(sut.AgePeers(), 1);
    EXPECT_EQ(sut.Count(), 0);

    Add("a");
    Add("b");
    now += 30000;
    EXPECT_EQ(sut.AgePeers(), 1);  // b moved into a's place and is looked at next pass
    EXPECT_EQ(sut.AgePeers(), 1);
}

TEST_F(PeerTableTest, ARefusedRequestOutlivesRebuildsUntilItFallsSilent) {
    for (int i = 0; i < kMaxPeers; ++i) ASSERT_EQ(Add(Numbered("p", i).c_str()), 1);
    auto rebuiltHas = [&](int id) {
        AcqRequest m = sut.MergedRequests();
        return std::find(m.analogIds, m.analogIds + m.analogCount, id) !=
               m.analogIds + m.analogCount;
    };
    // The others renew every 5 s; "late" every 5 s for 15 s, then no more.
    for (int t = 0; t <= 35000; t += 5000) {
        now = 1000 + t;
        for (int i = 0; i < kMaxPeers; ++i) Add(Numbered("p", i).c_str());
        if (t <= 15000) {
            EXPECT_EQ(Add(" LATE ", Analog({{9, 1}})), kPeerTableFull);
        }
        sut.AgePeers();
        EXPECT_TRUE(rebuiltHas(9)) << "at " << t << " ms";
    }
    now = 1000 + 15000 + 20999;
    sut.AgePeers();
    EXPECT_TRUE(rebuiltHas(9));
    now += 1;
    sut.AgePeers();
    EXPECT_FALSE(rebuiltHas(9));

    // Resent and then said goodbye: gone at once.
    Add("late", Analog({{9, 1}}));
    EXPECT_TRUE(rebuiltHas(9));
    sut.RemovePeer("late");
    EXPECT_FALSE(rebuiltHas(9));

    // A flood of new names is kept to a bounded list: the one silent longest goes.
    Add("late", Analog({{9, 1}}));
    now += 1;
    for (int i = 0; i < kMaxRefusedPeers; ++i) Add(Numbered("flood", i).c_str());
    EXPECT_FALSE(rebuiltHas(9));
}

TEST_F(PeerTableTest, MergedRequestsFollowsTheTableInOrder) {
    Add("a", Analog({{7, 1}, {2, 1}}));
    Add("b", Analog({{2, 9}, {4, 1}}));
    AcqRequest m = sut.MergedRequests();
    ASSERT_EQ(m.analogCount, 3);
    EXPECT_EQ(m.analogIds[0], 7);
    EXPECT_EQ(m.analogIds[2], 4);
    EXPECT_EQ(m.analogSamples[1], 1);
    sut.RemovePeer("a");
    m = sut.MergedRequests();
    ASSERT_EQ(m.analogCount, 2);
    EXPECT_EQ(m.analogIds[0], 2);
    EXPECT_EQ(m.analogSamples[0], 9);
    sut.RemovePeer("b");
    EXPECT_EQ(sut.MergedRequests().analogCount, 0);
    EXPECT_EQ(sut.MergedRequests().analogIds[0], -1);
}

// Peer names are traced by the host; what a peer sends must stay on its line.
TEST(PeerNameInTrace, ControlBytesAreEscapedAndTheRestKept) {
    EXPECT_EQ(platform::TraceEscaped("a\nb\r\x01\x1f\x7f\t"), "a\\nb\\x0D\\x01\\x1F\\x7F\\x09");
    // A backslash is doubled, so an escaped name never reads as another one.
    EXPECT_EQ(platform::TraceEscaped("探头 1\\ ~"), "探头 1\\\\ ~");
}

}  // namespace
}  // namespace vantor::engine
