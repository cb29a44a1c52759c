// End to end, with other local users taken for hostile: the real server and
// vantorctl refuse a block another user left, and nothing of the link listens
// beyond the loopback interface.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/BlockLayout.h"
#include "support/ChildProcess.h"
#include "support/ForkedChild.h"
#include "support/IntruderUser.h"

namespace vantor::test {
namespace {

TEST(HostileEndToEnd, ServerAndVantorctlRefuseABlockAnotherUserLeft) {
    std::string whyNot;
    const auto intruder = IntruderUser(&whyNot);
    if (!intruder) GTEST_SKIP() << whyNot;
    const std::string name = platform::ShmName(protocol::kBlockName);
    platform::SharedMemoryObject::Unlink(name);
    // Made before the server starts, as the intruder would: right size, 0660.
    ForkedChild planter([&] {
        if (!BecomeIntruder(*intruder)) return 100;
        const int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0660);
        if (fd < 0) return 1;
        return ::fchmod(fd, 0660) == 0 && ::ftruncate(fd, protocol::kBlockSize) == 0 ? 0 : 2;
    });
    ASSERT_EQ(planter.Wait(), 0);

    ChildProcess server("vantor", {"--headless"});
    const int serverCode = server.ExitCode();
    ChildProcess dump("vantorctl", {"dump"});
    const int dumpCode = dump.ExitCode();
    platform::SharedMemoryObject::Unlink(name);

    const std::string owner = "owned by uid " + std::to_string(intruder->uid);
    EXPECT_EQ(serverCode, 4) << server.Stderr();
    EXPECT_NE(dumpCode, 0) << dump.Stdout();
    for (const std::string& text : {server.Stderr(), dump.Stderr()}) {
        EXPECT_NE(text.find(name), std::string::npos) << text;
        EXPECT_NE(text.find(owner), std::string::npos) << text;
        EXPECT_NE(text.find("refusing to use it"), std::string::npos) << text;
    }
}

// The local addresses (hex, as the kernel lists them) of the UDP sockets
// that process pid holds.
std::vector<std::string> UdpAddressesOf(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd", ec)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::vector<std::string> addresses;
    for (const char* table : {"/net/udp", "/net/udp6"}) {
        std::istringstream lines(ReadFile(proc + table));
        std::string line;
        std::getline(lines, line);  // the heading
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string field;
            std::vector<std::string> f;
            while (fields >> field) f.push_back(field);
            if (f.size() > 9 && inodes.count(f[9]) != 0) {
                addresses.push_back(f[1].substr(0, f[1].find(':')));
            }
        }
    }
    return addresses;
}

TEST(HostileEndToEnd, EveryUdpSocketOfTheServerAndAPeerIsOnLoopbackOnly) {
    ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000, 9001}));
    ChildProcess server("vantor", {"--headless"});
    ASSERT_TRUE(server.WaitForText("peers: none", true)) << server.Stderr();
    ChildProcess peer("vantorctl", {"peer", "--name", "loopcheck"});
    ASSERT_TRUE(server.WaitForText("peers: loopcheck:", true)) << server.Stderr();

    for (const pid_t pid : {server.Pid(), peer.Pid()}) {
        const auto addresses = UdpAddressesOf(pid);
        EXPECT_FALSE(addresses.empty()) << "pid " << pid;
        for (const std::string& address : addresses) {
            EXPECT_EQ(address, "0100007F") << "pid " << pid << " has a UDP socket on " << address;
        }
    }
}

}  // namespace
}  // namespace vantor::test
