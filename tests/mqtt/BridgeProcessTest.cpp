// The real vantor-mqtt between a real server and a real Mosquitto broker,
// with a subscriber in this process.
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "protocol/BlockLayout.h"
#include "protocol/CSharedMemory.h"
#include "support/ChildProcess.h"

namespace vantor::test {
namespace {

int FreeTcpPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

struct Message {
    std::string topic;
    std::string payload;
    bool retained;
};

// Subscribes to everything and keeps what arrives; reconnects by itself.
class Subscriber {
public:
    explicit Subscriber(int port, const std::string& topic = "#", const std::string& user = "",
                        const std::string& password = "")
        : m_topic(topic) {
        ::mosquitto_lib_init();
        m_mosq = ::mosquitto_new(nullptr, true, this);
        if (!user.empty()) ::mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
        ::mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int /*mid*/) {
            ++static_cast<Subscriber*>(self)->m_acked;
        });
        ::mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* self, int rc) {
            if (rc == 0) {
                ::mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->m_topic.c_str(),
                                      1);
            }
        });
        ::mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* msg) {
                auto* s = static_cast<Subscriber*>(self);
                std::lock_guard lock(s->m_mutex);
                s->m_messages.push_back({msg->topic,
                                         std::string(static_cast<const char*>(msg->payload),
                                                     static_cast<size_t>(msg->payloadlen)),
                                         msg->retain});
            });
        ::mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        ::mosquitto_connect_async(m_mosq, "127.0.0.1", port, 30);
        ::mosquitto_loop_start(m_mosq);
    }
    ~Subscriber() {
        ::mosquitto_disconnect(m_mosq);
        ::mosquitto_loop_stop(m_mosq, true);
        ::mosquitto_destroy(m_mosq);
    }
    std::vector<Message> On(const std::string& topic) {
        std::lock_guard lock(m_mutex);
        std::vector<Message> out;
        for (const Message& m : m_messages) {
            if (m.topic == topic) out.push_back(m);
        }
        return out;
    }
    bool Has(const std::string& topic, const std::string& piece) {
        return std::ranges::any_of(On(topic), [&](const Message& m) {
            return m.payload.find(piece) != std::string::npos;
        });
    }
    void Publish(const std::string& topic, const std::string& payload) {
        ::mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                            payload.data(), 1, false);
    }
    // Publishes and waits for the broker's acknowledgement: by then the
    // broker has forwarded the message, or dropped it.
    bool PublishAcked(const std::string& topic, const std::string& payload) {
        const int before = m_acked.load();
        Publish(topic, payload);
        return Eventually([&] { return m_acked.load() > before; });
    }

private:
    std::string m_topic;
    std::atomic<int> m_acked{0};
    mosquitto* m_mosq = nullptr;
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

struct Analog {
    unsigned long long seq = 0;
    int count = 0;
    std::vector<float> values;
};

Analog ParseAnalog(const std::string& payload) {
    Analog a;
    int used = 0;
    if (std::sscanf(payload.c_str(), "{\"seq\":%llu,\"count\":%d,\"t\":%*f,\"values\":[%n", &a.seq,
                    &a.count, &used) < 2) {
        return a;
    }
    const char* p = payload.c_str() + used;
    for (int i = 0; i < a.count; ++i) {
        char* end = nullptr;
        a.values.push_back(std::strtof(p, &end));
        p = end + 1;
    }
    return a;
}

// Each message starts where the one before ended (`exact`), or later.
void ExpectSequence(const std::vector<Message>& messages, bool exact) {
    for (size_t i = 1; i < messages.size(); ++i) {
        const Analog prev = ParseAnalog(messages[i - 1].payload);
        const Analog cur = ParseAnalog(messages[i].payload);
        const unsigned long long next = prev.seq + static_cast<unsigned long long>(prev.count);
        EXPECT_TRUE(exact ? cur.seq == next : cur.seq >= next) << i << ": " << cur.seq;
        EXPECT_EQ(static_cast<int>(cur.values.size()), cur.count) << i;
    }
}

class MqttBridge : public ::testing::Test {
protected:
    void SetUp() override {
        port = FreeTcpPort();
        WriteFile(dir.File("broker.conf"), "listener " + std::to_string(port) +
                                               " 127.0.0.1\nallow_anonymous true\n"
                                               "persistence false\nlog_dest stderr\n");
        StartBroker();
        ASSERT_TRUE(WaitForFreeUdpPorts({8998, 9898, 9000}));
        server = std::make_unique<ChildProcess>("vantor", std::vector<std::string>{"--headless"});
        ASSERT_TRUE(server->WaitForText("peers: none", true)) << server->Stderr();
        ASSERT_TRUE(block.Create("NXSharedMemory", protocol::kBlockSize));
    }
    void StartBroker() {
        broker = std::make_unique<ChildProcess>(
            "/usr/sbin/mosquitto", std::vector<std::string>{"-c", dir.File("broker.conf")});
        ASSERT_TRUE(broker->WaitForText("running", true)) << broker->Stderr();
    }
    void StartBridge(std::vector<std::string> args) {
        args.insert(args.end(), {"--port", std::to_string(port), "--station", "b1"});
        bridge = std::make_unique<ChildProcess>("vantor-mqtt", args);
        ASSERT_TRUE(bridge->WaitForText("connected to", true)) << bridge->Stderr();
    }
    // The block, read under its lock.
    template <typename Fn>
    auto Read(Fn fn) {
        protocol::BlockLock lock(block);
        return fn(*static_cast<protocol::SharedBlock*>(block.GetData()));
    }
    int32_t OutputRequest(int line) {
        return Read([line](const protocol::SharedBlock& b) { return b.digitalOutRequest[line]; });
    }

    TempDir dir;
    int port = 0;
    std::unique_ptr<ChildProcess> broker;
    std::unique_ptr<ChildProcess> server;
    std::unique_ptr<ChildProcess> bridge;
    protocol::CSharedMemory block;
};

TEST_F(MqttBridge, SamplesArriveGapFreeWithTheBlocksValuesAndTheStatusOutlivesAKill) {
    Subscriber sub(port);
    // One sample per cycle: the ring then holds about a second, long enough
    // to find a message's values in it.
    StartBridge({"--channels", "0:1"});
    ASSERT_TRUE(Eventually([&] { return sub.On("vantor/b1/analog/0").size() >= 300; }));
    ASSERT_TRUE(sub.Has("vantor/b1/status", "\"board\":\"SIM Hardware\""));

    ExpectSequence(sub.On("vantor/b1/analog/0"), true);
    // The newest message's values are a run of the ring (newest first there).
    const size_t before = sub.On("vantor/b1/analog/0").size();
    ASSERT_TRUE(Eventually([&] { return sub.On("vantor/b1/analog/0").size() > before; }));
    const Analog last = ParseAnalog(sub.On("vantor/b1/analog/0").back().payload);
    std::vector<float> ring(protocol::kRingSlots);
    ring.resize(static_cast<size_t>(Read([&](const protocol::SharedBlock& b) {
        return protocol::NewestSamples(b.analogRing[0], ring.data(), protocol::kRingSlots);
    })));
    EXPECT_NE(std::search(ring.begin(), ring.end(), last.values.rbegin(), last.values.rend()),
              ring.end())
        << sub.On("vantor/b1/analog/0").back().payload;

    bridge->Signal(SIGKILL);
    EXPECT_EQ(bridge->TermSignal(), SIGKILL);
    Subscriber late(port, "vantor/b1/status");
    EXPECT_TRUE(Eventually([&] {
        auto status = late.On("vantor/b1/status");
        return !status.empty() && status.back().retained &&
               status.back().payload.find("\"state\":\"offline\"") != std::string::npos;
    }));
}

TEST_F(MqttBridge, ControlIsOffUnlessEnabledAndRefusesBadRequests) {
    Subscriber sub(port);
    StartBridge({"--channels", "0", "--din", "3"});
    ASSERT_TRUE(Eventually([&] { return sub.Has("vantor/b1/din", "{\"3\":0}"); }));
    sub.Publish("vantor/b1/dout/3/set", "1");
    // Nothing to wait for: the bridge did not subscribe. Give it a while.
    EXPECT_FALSE(Eventually([&] { return OutputRequest(3) != 0; }, std::chrono::seconds(1)));
    bridge->Signal(SIGTERM);
    EXPECT_EQ(bridge->ExitCode(), 0);
    // The last status reaches the subscriber through the broker, after the exit.
    EXPECT_TRUE(Eventually([&] { return sub.Has("vantor/b1/status", "\"state\":\"offline\""); }));

    StartBridge({"--channels", "0", "--din", "3", "--control"});
    ASSERT_TRUE(Eventually([&] { return sub.On("vantor/b1/status").size() >= 3; }));
    // Which requests are bad is MqttPayload's; here one is refused and reported.
    sub.Publish("vantor/b1/dout/3/set", "x");
    EXPECT_TRUE(bridge->WaitForText("payload \"x\" is not 0 or 1", true)) << bridge->Stderr();
    EXPECT_EQ(OutputRequest(3), 0);
    // A good request: WithTheAclOnlyTheOperatorSetsOutputs.
}

// The broker decides who may publish control requests: with the password file
// and the ACL of docs/mqtt.md, the operator sets an output and a dashboard
// account cannot. The bridge logs in with a password read from its file.
TEST_F(MqttBridge, WithTheAclOnlyTheOperatorSetsOutputs) {
    broker->Signal(SIGTERM);
    ASSERT_EQ(broker->ExitCode(), 0);
    const std::string passwd = dir.File("broker.passwd");
    WriteFile(passwd, "");
    for (const std::string user : {"b1", "operator", "dashboard"}) {
        ChildProcess add("/usr/bin/mosquitto_passwd", {"-b", passwd, user, user + "-pw"});
        ASSERT_EQ(add.ExitCode(), 0) << add.Stderr();
    }
    WriteFile(dir.File("broker.acl"),
              "user dashboard\ntopic read vantor/#\n"
              "user operator\ntopic read vantor/#\n"
              "topic write vantor/+/dout/+/set\n"
              "topic write vantor/+/counter/+/hold/set\n"
              "pattern write vantor/%u/#\n"
              "pattern read vantor/%u/dout/+/set\n"
              "pattern read vantor/%u/counter/+/hold/set\n");
    WriteFile(dir.File("broker.conf"), "listener " + std::to_string(port) +
                                           " 127.0.0.1\nallow_anonymous false\n"
                                           "password_file " +
                                           passwd + "\nacl_file " + dir.File("broker.acl") +
                                           "\npersistence false\nlog_dest stderr\n"
                                           // run as root, it would become "mosquitto",
                                           // who cannot read this test's files
                                           "user " +
                                           ::getpwuid(::getuid())->pw_name + "\n");
    StartBroker();
    WriteFile(dir.File("bridge.pw"), "b1-pw\n");

    Subscriber dashboard(port, "vantor/b1/#", "dashboard", "dashboard-pw");
    Subscriber op(port, "vantor/b1/din", "operator", "operator-pw");
    StartBridge({"--channels", "0", "--din", "3", "--control", "--username", "b1",
                 "--password-file", dir.File("bridge.pw")});
    ASSERT_TRUE(Eventually([&] { return dashboard.Has("vantor/b1/din", "{\"3\":0}"); }))
        << broker->Stderr() << bridge->Stderr();

    ASSERT_TRUE(dashboard.PublishAcked("vantor/b1/dout/3/set", "1"));
    // The operator's request on another line comes after the dashboard's was
    // dropped, so once it is in the block the dashboard's would be too.
    ASSERT_TRUE(op.PublishAcked("vantor/b1/dout/4/set", "1"));
    ASSERT_TRUE(Eventually([&] { return OutputRequest(4) == 1; }));
    EXPECT_EQ(OutputRequest(3), 0);
    EXPECT_FALSE(dashboard.Has("vantor/b1/din", "\"3\":1"));

    ASSERT_TRUE(op.PublishAcked("vantor/b1/dout/3/set", "1"));
    EXPECT_TRUE(Eventually([&] { return OutputRequest(3) == 1; }));
    // The simulated board loops the output back to its input.
    EXPECT_TRUE(Eventually([&] { return op.Has("vantor/b1/din", "{\"3\":1}"); }));
}

TEST_F(MqttBridge, ReconnectsToARestartedBrokerAndMarksTheGap) {
    // A small queue: while the broker is away the bridge drops, and says so
    // with its sequence numbers.
    StartBridge({"--channels", "0", "--queue-limit", "5"});
    auto sub = std::make_unique<Subscriber>(port, "vantor/b1/analog/0");
    ASSERT_TRUE(Eventually([&] { return sub->On("vantor/b1/analog/0").size() >= 10; }));
    Analog before = ParseAnalog(sub->On("vantor/b1/analog/0").back().payload);
    sub.reset();

    broker->Signal(SIGTERM);
    ASSERT_EQ(broker->ExitCode(), 0);
    ASSERT_TRUE(bridge->WaitForText("connection to the broker lost", true)) << bridge->Stderr();
    const size_t mark = bridge->Stderr().size();
    StartBroker();
    sub = std::make_unique<Subscriber>(port, "vantor/b1/analog/0");
    ASSERT_TRUE(bridge->WaitForText("connected to", true, kPatienceMs, mark)) << bridge->Stderr();
    ASSERT_TRUE(Eventually([&] { return sub->On("vantor/b1/analog/0").size() >= 2; }));
    Analog after = ParseAnalog(sub->On("vantor/b1/analog/0").front().payload);
    EXPECT_GT(after.seq, before.seq + static_cast<unsigned long long>(before.count));
    ExpectSequence(sub->On("vantor/b1/analog/0"), false);
}

}  // namespace
}  // namespace vantor::test
