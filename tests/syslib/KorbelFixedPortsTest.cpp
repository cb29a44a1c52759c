// The server's own ports as a peer sees them: its traffic goes to 8998 and the
// replies come from 9898.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "syslib/Korbel.h"

TEST(SyslibFixedPorts, PeerTrafficUsesTheServerPorts) {
    ASSERT_EQ(DMI_Load(1), 1);
    if (DMI_OpenNet(0, 0, 8998, 9898) != 1) {
        DMI_Unload();
        GTEST_SKIP() << "ports 8998/9898 are held by another process";
    }
    const int peer = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(::getsockname(peer, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int peerPort = ntohs(addr.sin_port);
    const timeval patience{10, 0};  // a lost reply fails instead of hanging
    ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

    const char connect[] = "CONNECT,probe1,x,127.0.0.1,5,7";
    addr.sin_port = htons(8998);
    ASSERT_GT(::sendto(peer, connect, sizeof connect, 0, reinterpret_cast<sockaddr*>(&addr), len),
              0);
    char packet[2072];
    ASSERT_EQ(DMI_WaitNetData(0, 10000), 1);
    ASSERT_EQ(DMI_ReadNetData(0, packet, sizeof packet), static_cast<int>(sizeof connect));
    EXPECT_STREQ(packet, connect);

    ASSERT_EQ(DMI_SendNetData(0, "127.0.0.1", peerPort, "PORT,probe1,9000", 17), 17);
    ASSERT_EQ(::recvfrom(peer, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&addr), &len),
              17);
    EXPECT_STREQ(packet, "PORT,probe1,9000");
    EXPECT_EQ(ntohs(addr.sin_port), 9898);
    ::close(peer);
    DMI_CloseNet(0);
    DMI_Unload();
}
