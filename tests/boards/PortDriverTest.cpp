// The port driver: backend choice, the open steps and their failure texts,
// and byte transfers on each backend.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "boards/BusProtocol.h"
#include "boards/PortBackends.h"
#include "boards/PortDriver.h"
#include "emulation/BusServer.h"
#include "emulation/IsaBus.h"
#include "platform/UniqueFd.h"
#include "platform/UnixAddress.h"
#include "support/TestEnv.h"

namespace vantor::boards {
namespace {

TEST(PortDriverOpen, MissingDeviceOldVersionAndHeldRangeFailAndReleaseEverything) {
    std::unique_ptr<PortHandle> first;
    std::unique_ptr<PortHandle> second;
    for (const char* missing : {"/nonexistent/port", "unix:/nonexistent/sock", "emu:no-such-bus"}) {
        EXPECT_EQ(OpenPortDriver(missing, first), 0) << missing;
        EXPECT_EQ(first, nullptr);
        EXPECT_EQ(PortDriverError(), "Failed opening WinDriver device\n");
    }
    emulation::IsaBus bus;
    RegisterEmulatedBus("pd-bus", &bus);

    bus.SetVersion(601);
    EXPECT_EQ(OpenPortDriver("emu:pd-bus", first), 0);
    EXPECT_EQ(PortDriverError(), "Incorrect WinDriver version\n");
    EXPECT_FALSE(bus.Claimed());

    bus.SetVersion(602);
    ASSERT_EQ(OpenPortDriver("emu:pd-bus", first), 1);
    EXPECT_EQ(PortDriverError(), "");  // cleared by the open
    EXPECT_EQ(OpenPortDriver("emu:pd-bus", second), 0);
    EXPECT_EQ(PortDriverError(), "Failed locking device.\n");

    ClosePortDriver(first);
    EXPECT_EQ(first, nullptr);
    EXPECT_FALSE(bus.Claimed());
    EXPECT_EQ(OpenPortDriver("emu:pd-bus", second), 1);
    ClosePortDriver(second);
    UnregisterEmulatedBus("pd-bus");
}

// An ordinary file stands in for /dev/port: offset p is port p.
TEST(DevicePortBackend, BytesLandAtTheirOffsetAndReadsPastTheEndChangeNothing) {
    test::TempDir dir;
    std::string path = dir.File("port");
    test::WriteFile(path, std::string(0x400, '\0'));
    std::unique_ptr<PortHandle> h;
    ASSERT_EQ(OpenPortDriver(path, h), 1);

    PortWriteByte(h.get(), 0x2E2, 0x55);
    uint8_t v = 0;
    PortReadByte(h.get(), 0x2E2, v);
    EXPECT_EQ(v, 0x55);
    v = 0x77;
    EXPECT_FALSE(PortReadByte(h.get(), 0x500, v));  // beyond the file: a failed transfer
    EXPECT_EQ(v, 0x77);
    EXPECT_TRUE(PortLink(h.get()).lost);
    PortReadByte(h.get(), -1, v);
    EXPECT_EQ(v, 0x77);
    EXPECT_TRUE(PortReadByte(h.get(), 0x2E2, v));
    EXPECT_EQ(PortLink(h.get()).lost, false);
    EXPECT_EQ(PortLink(h.get()).losses, 1u);

    // The device is locked while registered.
    std::unique_ptr<PortHandle> other;
    EXPECT_EQ(OpenPortDriver(path, other), 0);
    EXPECT_EQ(PortDriverError(), "Failed locking device.\n");
    ClosePortDriver(h);
    EXPECT_EQ(test::ReadFile(path).at(0x2E2), '\x55');
    v = 0x77;
    PortReadByte(h.get(), 0x2E2, v);  // no handle: nothing happens
    EXPECT_EQ(v, 0x77);
}

// A connection may end only its own claim: another one's release of the same
// handle (handles are small numbers) must leave the card claimed.
TEST(BusServer, AConnectionCannotReleaseAnotherOnesClaim) {
    test::TempDir dir;
    const std::string path = dir.File("bus");
    emulation::IsaBus bus;
    emulation::BusServer server(bus);
    std::string why;
    ASSERT_TRUE(server.Listen(path, why)) << why;
    const auto addr = platform::UnixAddress(path);
    ASSERT_TRUE(addr);
    platform::UniqueFd clients[2];
    for (platform::UniqueFd& c : clients) {
        c.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::connect(c.Get(), addr.value().Get(), addr.value().length), 0);
        server.Step(test::kPatienceMs);
    }
    ASSERT_EQ(server.Connections(), 2);
    // One request and its reply, the server serving in between.
    const auto call = [&](platform::UniqueFd& c, wire::Request q) {
        EXPECT_EQ(::send(c.Get(), &q, sizeof q, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof q));
        server.Step(test::kPatienceMs);
        wire::Reply r{};
        EXPECT_EQ(::recv(c.Get(), &r, sizeof r, 0), static_cast<ssize_t>(sizeof r));
        return r;
    };

    const wire::Reply claim = call(clients[0], {wire::kClaim, 0, 0x300, 16});
    ASSERT_NE(claim.word, 0u);
    call(clients[1], {wire::kRelease, 0, 0, claim.word});
    EXPECT_TRUE(bus.Claimed());
    EXPECT_EQ(call(clients[1], {wire::kClaim, 0, 0x300, 16}).word, 0u);

    call(clients[0], {wire::kRelease, 0, 0, claim.word});
    EXPECT_FALSE(bus.Claimed());
}

}  // namespace
}  // namespace vantor::boards
