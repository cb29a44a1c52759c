// The port driver: backend choice, the open steps and their failure texts,
// and byte transfers on each backend.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "boards/PortBackends.h"
#include "boards/PortDriver.h"
#include "emulation/BusServer.h"
#include "emulation/IsaBus.h"
#include "support/TestEnv.h"

namespace vantor::boards {
namespace {

TEST(PortDriverOpen, MissingDeviceFailsWithTheDeviceText) {
    std::unique_ptr<PortHandle> h;
    EXPECT_EQ(OpenPortDriver("/nonexistent/port", h), 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(PortDriverError(), "Failed opening WinDriver device\n");
    EXPECT_EQ(OpenPortDriver("unix:/nonexistent/sock", h), 0);
    EXPECT_EQ(OpenPortDriver("emu:no-such-bus", h), 0);
    EXPECT_EQ(PortDriverError(), "Failed opening WinDriver device\n");
}

TEST(PortDriverOpen, OldVersionAndHeldRangeFailAndReleaseEverything) {
    emulation::IsaBus bus;
    RegisterEmulatedBus("pd-bus", &bus);
    std::unique_ptr<PortHandle> first, second;

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

TEST(SocketPortBackend, TransfersReachTheServedBusAndADeadServerFailsFast) {
    test::TempDir dir;
    std::string path = dir.File("bus");
    emulation::IsaBus bus;
    bus.AddCard(0x24, 0x2E0).SetDigitalIn(0xA55A);
    auto server = std::make_unique<emulation::BusServer>(bus);
    std::string why;
    ASSERT_TRUE(server->Listen(path, why)) << why;
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop.load()) server->Step(10);
    });

    std::unique_ptr<PortHandle> h;
    ASSERT_EQ(OpenPortDriver("unix:" + path, h), 1);
    uint8_t id = 0, din = 0, unmapped = 0;
    PortReadByte(h.get(), 0x2E1, id);
    PortWriteByte(h.get(), 0x2E4, 0x81);
    PortReadByte(h.get(), 0x2E4, din);
    PortReadByte(h.get(), 0x100, unmapped);
    EXPECT_EQ(id, 0x24);
    EXPECT_EQ(din, 0x5A);
    EXPECT_EQ(unmapped, 0xFF);

    stop.store(true);
    serving.join();
    server.reset();  // the server goes away under an open driver
    uint8_t v = 0x11;
    PortReadByte(h.get(), 0x2E1, v);
    PortReadByte(h.get(), 0x2E1, v);
    EXPECT_EQ(v, 0x11);
    ClosePortDriver(h);
    ASSERT_EQ(bus.WritesTo(0x2E4), std::vector<uint8_t>{0x81});
}

}  // namespace
}  // namespace vantor::boards
