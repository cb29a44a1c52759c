// The copy-data bus between real processes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "PlatformTestHelpers.h"
#include "platform/CopyDataBus.h"

namespace vantor::platform {
namespace {

// A child process that owns an endpoint until it is killed. Told of a mode
// change (1124), it registers again at once (1064) with the waiting sender.
class EndpointChild {
public:
    explicit EndpointChild(const std::string& title)
        : m_child([&] {
              std::unique_ptr<CopyDataEndpoint>* self = nullptr;
              auto opened = CopyDataEndpoint::Open(title, [&](const CopyDataMessage& m) -> int64_t {
                  if (m.code != 1124) return -1;
                  auto r = (*self)->Send("server", 1064, 6, "client", 6);
                  return r ? 1124000 + r.value() : -1;
              });
              if (!opened) return 3;
              m_ready.Send();
              self = &opened.value();
              for (;;) opened.value()->WaitAndPump(100);
          }) {
        m_ready.CloseWrite();
    }
    bool Ready() const { return m_ready.Receive(); }
    void Kill() {
        m_child.Kill();
        m_child.Wait();
    }

private:
    test::Pipe m_ready;  // declared first: the child writes to it
    test::ForkedChild m_child;
};

// A send that waits for the other process's handler and returns its result is
// what every vantorctl command to the server relies on (ServerFault and e2e tests).
TEST(CopyDataBus, AMissingOrDeadTitleIsNotFoundAndCanBeTakenOver) {
    auto missing = CopyDataSend("nobody here", 1, 0, nullptr, 0);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, kCopyDataNotFound);
    EXPECT_FALSE(CopyDataFind("nobody here"));

    EndpointChild child("crashed");
    ASSERT_TRUE(child.Ready());
    auto taken = CopyDataEndpoint::Open("crashed", nullptr);
    ASSERT_FALSE(taken);  // a live holder keeps its title
    EXPECT_EQ(taken.error().code, EADDRINUSE);
    child.Kill();  // leaves its socket file behind
    EXPECT_FALSE(CopyDataFind("crashed"));
    EXPECT_EQ(CopyDataSend("crashed", 1, 0, nullptr, 0).error().code, kCopyDataNotFound);
    auto again = CopyDataEndpoint::Open("crashed", nullptr);
    ASSERT_TRUE(again) << again.error().text;
}

TEST(CopyDataBus, AReceiverMayCallBackTheWaitingSender) {
    int registrations = 0;
    auto server = CopyDataEndpoint::Open("server", [&](const CopyDataMessage& m) -> int64_t {
        if (m.code == 1064 && m.data == "client") ++registrations;
        return 7;
    });
    ASSERT_TRUE(server);
    EndpointChild client("client");
    ASSERT_TRUE(client.Ready());
    auto r = server.value()->Send("client", 1124, 0, nullptr, 0);
    ASSERT_TRUE(r) << r.error().text;
    EXPECT_EQ(r.value(), 1124007);
    EXPECT_EQ(registrations, 1);
}

TEST(CopyDataBus, TitlesBecomeDistinctSafeFileNamesInAPrivateDirectory) {
    std::string a = CopyDataPath("数据/../x y");
    std::string b = CopyDataPath("数据/../x_y");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    std::string name = a.substr(a.rfind('/') + 1);
    EXPECT_EQ(name.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-%@#"),
              std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(a.substr(0, a.rfind('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    std::string longA(99, 'a');
    std::string longB = longA;
    longB[98] = 'b';
    EXPECT_LT(CopyDataPath(longA).size(), 108u);
    EXPECT_NE(CopyDataPath(longA), CopyDataPath(longB));
    auto endpoint = CopyDataEndpoint::Open(longA, [](const CopyDataMessage&) { return 3; });
    ASSERT_TRUE(endpoint);
    EXPECT_TRUE(CopyDataFind(longA));
    EXPECT_FALSE(CopyDataFind(longB));
}

TEST(CopyDataBus, PumpHandlesAtMostOneMessageAndNeverBlocks) {
    int handled = 0;
    auto endpoint = CopyDataEndpoint::Open(
        "pumped", [&](const CopyDataMessage&) -> int64_t { return ++handled; });
    ASSERT_TRUE(endpoint);
    EXPECT_EQ(endpoint.value()->Pump(), 0);
    auto big = std::string(kCopyDataMaxPayload + 1, 'x');
    EXPECT_EQ(CopyDataSend("pumped", 1, 0, big.data(), big.size()).error().code, kCopyDataTooLarge);
    // Nobody pumps during the send: it times out, and the message waits.
    auto r = CopyDataSend("pumped", 1, 0, nullptr, 0, 50);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, kCopyDataTimedOut);
    EXPECT_EQ(endpoint.value()->Pump(), 1);
    EXPECT_EQ(endpoint.value()->Pump(), 0);
    EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace vantor::platform
