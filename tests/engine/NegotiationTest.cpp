// The negotiation threads over the real link: CONNECT and DISCONNECT in,
// PORT out, and the merged request rebuilt while the acquisition runs.
// PORT messages go to the fixed peer ports, so this runs under the
// udp_fixed_ports lock; the server side uses ports the system picks.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/AcqEngine.h"
#include "platform/LoopbackUdp.h"
#include "protocol/NegPacket.h"
#include "support/TestEnv.h"
#include "syslib/Korbel.h"

namespace vantor::engine {
namespace {

using namespace std::chrono_literals;

using test_support::Eventually;

// A peer's side of the link: sends to the server, listens on one port.
class Peer {
public:
    explicit Peer(int serverPort, int listenPort = 0)
        : m_server(platform::LoopbackAddress(serverPort)) {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (listenPort > 0) {
            // The fixed port may be held for a while by a test of another build.
            m_bound = Eventually([&] { return platform::BindLoopback(m_fd, listenPort); }, 30000ms);
        }
    }
    ~Peer() { ::close(m_fd); }
    bool Bound() const { return m_bound; }

    void SendBytes(const void* bytes, size_t size) {
        ::sendto(m_fd, bytes, size, 0, reinterpret_cast<const sockaddr*>(&m_server),
                 sizeof m_server);
    }
    void Send(const AcqRequest& r, int32_t code = kNegCodeRequest) {
        NegPacket p = EmptyNegPacket();
        SetRequest(p, r);
        p.code = code;
        SendBytes(&p, sizeof p);
    }
    void Send(const std::string& text, std::initializer_list<int> analog = {},
              int32_t code = kNegCodeRequest) {
        Send(test_support::Request(text, analog), code);
    }
    // The text of the next PORT message, "" when none came in time.
    std::string Receive(int timeoutMs) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) != 1) return {};
        NegPacket p{};
        if (::recv(m_fd, &p, sizeof p, 0) != static_cast<ssize_t>(sizeof p)) return "short";
        return RequestOf(p).text;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
    sockaddr_in m_server;
};

class Negotiation : public test_support::EngineFixture {
protected:
    void SetUp() override {
        ASSERT_EQ(DMI_Load(1), 1);
        ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
        engine->SetNetPorts(0, 0);
        test::WriteFile(dir.File("AcqCfg.ini"), "[HK]\nMODE=1\n");
        ASSERT_TRUE(engine->ReadConfig());
        engine->StartAcquisition();
        ASSERT_TRUE(engine->IsNegotiationRunning());
        serverPort = DMI_GetNetPort(0);
        ASSERT_GT(serverPort, 0);
    }
    void TearDown() override {
        if (engine) engine->StopThreads();
        DMI_CloseNet(0);
        DMI_Unload();
        EngineFixture::TearDown();
    }
    bool HasAnalog(int id) {
        AcqRequest m = engine->Merged().Snapshot();
        for (int i = 0; i < m.analogCount; ++i) {
            if (m.analogIds[i] == id) return true;
        }
        return false;
    }

    int serverPort = 0;
};

TEST_F(Negotiation, ConnectIsAnsweredWithPortSurvivesARestartAndDisconnectEndsIt) {
    Peer peer(serverPort, 9000);
    ASSERT_TRUE(peer.Bound()) << "port 9000 is taken";
    peer.Send("CONNECT,probe1,x,127.0.0.1,5,7", {3, 5});
    ASSERT_TRUE(Eventually([&] { return engine->Peers().Count() == 1; }));
    EXPECT_TRUE(HasAnalog(3) && HasAnalog(5));
    EXPECT_EQ(peer.Receive(3000), "PORT,probe1,9000");

    // A stop ends both threads; the table and the request survive a restart.
    engine->StopThreads();
    EXPECT_FALSE(engine->IsNegotiationRunning());
    EXPECT_EQ(engine->Peers().Count(), 1);
    EXPECT_TRUE(HasAnalog(3));
    engine->StartAcquisition();
    EXPECT_TRUE(engine->IsNegotiationRunning());

    Peer(DMI_GetNetPort(0)).Send("DISCONNECT,probe1");  // the link may have a new port
    EXPECT_TRUE(Eventually([&] { return engine->Peers().Count() == 0; }));
    engine->RebuildMergedRequest();
    EXPECT_FALSE(HasAnalog(3));
}

TEST_F(Negotiation, ShortDatagramsAndOtherCodesActOnNothingOld) {
    Peer peer(serverPort);
    peer.Send("CONNECT,aaaa,x,127.0.0.1,5,7");
    // A datagram that covers only "CONNECT,b": the rest of the older packet
    // must not complete it into "CONNECT,baaa,x,127.0.0.1,5,7".
    NegPacket p = EmptyNegPacket();
    p.code = kNegCodeRequest;
    std::memcpy(p.data, "CONNECT,b", 9);
    peer.SendBytes(&p, 20 + 9);
    peer.Send("CONNECT,other,x,127.0.0.1,5,7", {}, 991);
    peer.Send("CONNECT,last,x,127.0.0.1,5,7", {}, kNegCodeRequestAlt);
    ASSERT_TRUE(Eventually([&] { return engine->PacketsRead() >= 4; }));
    ASSERT_TRUE(Eventually([&] { return engine->Peers().Count() == 2; }));
    EXPECT_STREQ(engine->Peers().Entries()[0].name, "aaaa");
    EXPECT_STREQ(engine->Peers().Entries()[1].name, "last");
}

TEST_F(Negotiation, RebuildNeverDropsALivePeersChannel) {
    Peer peer(serverPort);
    peer.Send("CONNECT,live,x,127.0.0.1,0,0", {4});
    peer.Send("CONNECT,leaving,x,127.0.0.1,0,0", {6});
    ASSERT_TRUE(Eventually([&] { return engine->Peers().Count() == 2; }));

    std::atomic<int> misses{0};
    std::jthread reader([&](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            if (!HasAnalog(4)) misses.fetch_add(1);
        }
    });
    peer.Send("DISCONNECT,leaving");
    for (int i = 0; i < 200; ++i) {
        engine->RebuildMergedRequest();
        if (i % 20 == 0) peer.Send("CONNECT,live,x,127.0.0.1,0,0", {4});
    }
    ASSERT_TRUE(Eventually([&] { return engine->Peers().Count() == 1; }));
    engine->RebuildMergedRequest();
    reader.request_stop();
    reader.join();
    EXPECT_EQ(misses.load(), 0);
    EXPECT_FALSE(HasAnalog(6));
}

// What a window does: Status() over and over on a thread of its own, and
// the change notification, while the acquisition and negotiation threads run.
TEST_F(Negotiation, StatusAndChangeNotificationFromAnotherThread) {
    // Shared with the listener, which the engine's threads may still call
    // while this test unwinds.
    auto changes = std::make_shared<std::atomic<int>>(0);
    engine->SetChangeListener([changes] { changes->fetch_add(1); });
    std::atomic<int> snapshots{0};
    std::jthread window([&](const std::stop_token& stop) {  // stopped and joined on any exit
        while (!stop.stop_requested()) {
            const EngineStatus s = engine->Status();
            if (static_cast<int>(s.peers.size()) <= kMaxPeers) snapshots.fetch_add(1);
        }
    });

    AcqRequest r = test_support::Request("CONNECT,scope,x,127.0.0.1,5,7", {3, 5});
    test_support::Put(r.digitalInIds, r.digitalInCount, {0, 3, 7});
    test_support::Put(r.frequencyIds, r.frequencyCount, {200});
    const int before = changes->load();
    Peer peer(serverPort);
    peer.Send(r);
    ASSERT_TRUE(Eventually([&] { return engine->Status().peers.size() == 1; }));
    EXPECT_GT(changes->load(), before);
    // The first cycle lights the lamp; a slow (sanitizer) run may not be there yet.
    ASSERT_TRUE(Eventually([&] { return engine->Status().acquisitionKind == kKindSimulated; }));

    const EngineStatus s = engine->Status();
    const PeerRow& row = s.peers[0];
    EXPECT_EQ(row.name, "scope");
    EXPECT_EQ(row.host, "127.0.0.1");
    EXPECT_EQ(row.port, 9000);
    EXPECT_EQ(row.peerCount, 5);
    EXPECT_EQ(row.digitalIn, "0.3.7.");
    EXPECT_EQ(row.digitalOut, "");
    EXPECT_EQ(row.analog, "3.5.");
    EXPECT_EQ(row.frequency, "200.");
    EXPECT_EQ(s.merged.analog, 2);
    EXPECT_EQ(s.merged.digitalIn, 3);
    EXPECT_EQ(s.merged.frequency, 1);
    EXPECT_EQ(s.acquisitionActive, 1);
    EXPECT_EQ(s.acquisitionKind, kKindSimulated);
    EXPECT_TRUE(Eventually([&] { return engine->Status().cycles > s.cycles; }));

    const int beforeName = changes->load();
    engine->AddClientName("viewer");
    EXPECT_EQ(engine->Status().clientNames[0], "viewer");
    EXPECT_GT(changes->load(), beforeName);

    peer.Send("DISCONNECT,scope");
    EXPECT_TRUE(Eventually([&] { return engine->Status().peers.empty(); }));
    EXPECT_TRUE(Eventually([&] { return snapshots.load() > 10; }));
}

}  // namespace
}  // namespace vantor::engine
