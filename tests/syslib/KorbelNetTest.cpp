// The packet link on loopback, on ports the system picks so parallel tests
// never collide.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "syslib/Korbel.h"

namespace {

constexpr int kPacketSize = 2072;

class SyslibNet : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DMI_Load(1), 1);
        ASSERT_EQ(DMI_OpenNet(0, 0, 0, 0), 1);
        m_port = DMI_GetNetPort(0);
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override {
        DMI_CloseNet(0);
        DMI_Unload();
    }
    int m_port = 0;
};

TEST_F(SyslibNet, DatagramsRoundTripAndShortOnesLeaveNoOldBytes) {
    EXPECT_GT(DMI_GetNetPort(1), 0);
    EXPECT_NE(DMI_GetNetPort(1), m_port);

    std::vector<unsigned char> sent(kPacketSize);
    std::iota(sent.begin(), sent.end(), static_cast<unsigned char>(1));
    std::vector<unsigned char> got(kPacketSize, 0xEE);
    ASSERT_EQ(DMI_SendNetData(0, "127.0.0.1", m_port, sent.data(), kPacketSize), kPacketSize);
    ASSERT_EQ(DMI_WaitNetData(0, 10000), 1);
    ASSERT_EQ(DMI_ReadNetData(0, got.data(), kPacketSize), kPacketSize);
    EXPECT_EQ(got, sent);

    const char shortText[] = "PORT,p,9000";
    ASSERT_EQ(DMI_SendNetData(0, "127.0.0.1", m_port, shortText, 11), 11);
    ASSERT_EQ(DMI_WaitNetData(0, 10000), 1);
    ASSERT_EQ(DMI_ReadNetData(0, got.data(), kPacketSize), 11);
    EXPECT_EQ(std::memcmp(got.data(), shortText, 11), 0);
    EXPECT_TRUE(std::all_of(got.begin() + 11, got.end(), [](unsigned char b) { return b == 0; }));

    // Nothing waiting: no wait, no data.
    EXPECT_EQ(DMI_WaitNetData(0, 0), 0);
    EXPECT_EQ(DMI_ReadNetData(0, got.data(), kPacketSize), 0);

    // A peer sees the link's traffic come from its second (send) port.
    const int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::getsockname(peer, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const timeval patience{10, 0};  // a lost datagram fails instead of hanging
    ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ASSERT_EQ(DMI_SendNetData(0, "127.0.0.1", ntohs(addr.sin_port), shortText, 11), 11);
    EXPECT_EQ(
        ::recvfrom(peer, got.data(), kPacketSize, 0, reinterpret_cast<sockaddr*>(&addr), &len), 11);
    EXPECT_EQ(ntohs(addr.sin_port), DMI_GetNetPort(1));
    ::close(peer);
}

TEST_F(SyslibNet, BadDestinationsAndTakenPortsAreRefused) {
    EXPECT_LT(DMI_SendNetData(0, "localhost", m_port, "x", 1), 0);
    EXPECT_LT(DMI_SendNetData(0, "127.0.0.1", 0, "x", 1), 0);
    // Another socket holds a port: the link must fail there, not share it.
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::getsockname(holder, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int result = DMI_OpenNet(0, 0, ntohs(addr.sin_port), 0);
    ::close(holder);

    EXPECT_LT(result, 0);
    char text[256];
    EXPECT_GT(DMI_GetNetError(text, sizeof text), 0);
    EXPECT_EQ(DMI_GetNetPort(0), -1);
    EXPECT_LT(DMI_WaitNetData(0, 0), 0);
    EXPECT_LT(DMI_ReadNetData(0, text, sizeof text), 0);
    EXPECT_LT(DMI_SendNetData(0, "127.0.0.1", 9, text, 1), 0);
}

}  // namespace
