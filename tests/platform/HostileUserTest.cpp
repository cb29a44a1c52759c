// Another local user is not to be trusted: what they leave in the shared
// places (/dev/shm, the runtime directory's parent) or send on the bus is
// refused or dropped, and the refusal names the object, its owner and mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "PlatformTestHelpers.h"
#include "platform/CopyDataBus.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessMutex.h"
#include "platform/SharedMemoryObject.h"
#include "platform/UnixAddress.h"
#include "support/IntruderUser.h"

namespace vantor::test {
namespace {

using platform::CopyDataEndpoint;
using platform::InstanceLock;
using platform::SharedMemoryObject;

constexpr size_t kSize = 4096;

class HostileUser : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        auto found = IntruderUser(&whyNot);
        if (!found) GTEST_SKIP() << whyNot;
        intruder = *found;
    }
    // Runs body in a child that has become the intruder; its exit code.
    template <typename Body>
    int AsIntruder(Body body) {
        ForkedChild child([&] { return BecomeIntruder(intruder) ? body() : 100; });
        return child.Wait();
    }
    std::string OwnedBy() const { return "owned by uid " + std::to_string(intruder.uid); }

    Intruder intruder;
};

// A 0660 object made by the intruder, as they would make one to be found first.
int PlantObject(const std::string& name) {
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0660);
    if (fd < 0) return 1;
    const bool ok = ::fchmod(fd, 0660) == 0 && ::ftruncate(fd, 64) == 0;
    ::close(fd);
    return ok ? 0 : 2;
}

TEST_F(HostileUser, BlockAndMutexLeftByAnotherUserAreRefusedByServerAndReaders) {
    ScopedShmName block("HostileBlock");
    ScopedShmName mutex("HostileBlockMutex");
    ASSERT_EQ(AsIntruder([&] { return PlantObject(block.str()) + PlantObject(mutex.str()); }), 0);

    auto reader = SharedMemoryObject::OpenExisting(block.str(), 64);
    auto server =
        SharedMemoryObject::CreateOrOpen(block.str(), kSize, SharedMemoryObject::Owner::kThisUser);
    auto lock = platform::ProcessMutex::CreateOrOpen(mutex.str());

    // Object, owner and refusal in the texts: HostileEndToEnd.ServerAndVantorctlRefuse...'s.
    ASSERT_FALSE(reader);
    EXPECT_EQ(reader.error().code, platform::kUnsafeObject);
    ASSERT_FALSE(server);
    EXPECT_NE(server.error().text.find("mode 0660"), std::string::npos) << server.error().text;
    ASSERT_FALSE(lock);
    EXPECT_NE(lock.error().text.find(mutex.str()), std::string::npos) << lock.error().text;
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm" + block.str()).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 64);  // refused before anything was changed
}

TEST_F(HostileUser, RuntimeDirectoryMadeByAnotherUserIsRefused) {
    // A parent that everyone may write to, as /tmp is.
    TempDir parent;
    ASSERT_EQ(::chmod(parent.Path().c_str(), 01777), 0);
    ScopedEnv xdg("XDG_RUNTIME_DIR", parent.Path().c_str());
    const std::string dir = parent.File("vantor");
    ASSERT_EQ(AsIntruder([&] { return ::mkdir(dir.c_str(), 0700) == 0 ? 0 : 1; }), 0);

    auto lock = InstanceLock::Acquire("Vantor");
    auto endpoint = CopyDataEndpoint::Open("HostileTitle", nullptr);

    ASSERT_FALSE(lock);
    ASSERT_FALSE(endpoint);
    for (const std::string& text : {lock.error().text, endpoint.error().text}) {
        EXPECT_NE(text.find(dir), std::string::npos) << text;
        EXPECT_NE(text.find(OwnedBy()), std::string::npos) << text;
        EXPECT_NE(text.find("refusing to use it"), std::string::npos) << text;
    }
}

TEST_F(HostileUser, BusMessagesOfAnotherUserAreDroppedAndTracedOncePerSender) {
    TempDir runtime;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.Path().c_str());
    std::atomic<int> handled{0};
    auto endpoint = CopyDataEndpoint::Open("HostileTarget", [&](const auto&) {
        ++handled;
        return int64_t{7};
    });
    ASSERT_TRUE(endpoint) << endpoint.error().text;
    const auto to = platform::UnixAddress(platform::CopyDataPath("HostileTarget"));
    ASSERT_TRUE(to);

    // The intruder got hold of a socket that reaches the endpoint (here:
    // connected while still root) and sends well-formed requests from it.
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(fd, to.value().Get(), to.value().length), 0);
    const int sent = AsIntruder([&] {
        const uint32_t request[6] = {0x4D444356u, 1, 42, 0, 0, 0};
        int ok = 0;
        for (int i = 0; i < 3; ++i) ok += ::send(fd, request, sizeof request, 0) == sizeof request;
        return ok;
    });
    ::close(fd);
    ASSERT_EQ(sent, 3);

    ::testing::internal::CaptureStderr();
    int pumped = 0;
    while (endpoint.value()->Pump() == 1) ++pumped;
    auto own = platform::CopyDataPost("HostileTarget", 42, 0, nullptr, 0, 1000);
    const int ownPumped = endpoint.value()->Pump();
    const std::string trace = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(pumped, 3);
    ASSERT_TRUE(own) << own.error().text;
    EXPECT_EQ(ownPumped, 1);
    EXPECT_EQ(handled.load(), 1);  // only our own message
    const std::string line = "from uid " + std::to_string(intruder.uid);
    const size_t first = trace.find(line);
    EXPECT_NE(first, std::string::npos) << trace;
    EXPECT_EQ(trace.find("dropped a message", first + 1), std::string::npos) << trace;
}

}  // namespace
}  // namespace vantor::test
