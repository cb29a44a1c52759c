// The bridge's messages and settings, without a broker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "Config.h"
#include "Payload.h"
#include "Sampler.h"
#include "support/TestEnv.h"

namespace vantor::mqtt {
namespace {

TEST(MqttPayload, ControlMessagesAreReadStrictly) {
    ControlRequest r;
    std::string error;
    ASSERT_TRUE(ParseControl("vantor", "b1", "vantor/b1/dout/3/set", " 1\n", r, error)) << error;
    EXPECT_EQ(r.kind, ControlKind::Output);
    EXPECT_EQ(r.index, 3);
    EXPECT_EQ(r.value, 1);
    ASSERT_TRUE(ParseControl("lab/x", "b1", "lab/x/b1/counter/302/hold/set", "0", r, error));
    EXPECT_EQ(r.kind, ControlKind::CounterHold);
    EXPECT_EQ(r.index, 2);
    EXPECT_EQ(r.value, 0);

    const std::pair<const char*, std::string> bad[] = {
        {"vantor/b1/dout/16/set", "1"},
        {"vantor/b1/dout/-1/set", "1"},
        {"vantor/b1/dout/03/set", "1"},
        {"vantor/b1/dout/3/set", "2"},
        {"vantor/b1/dout/3/set", "one"},
        {"vantor/b1/dout/3/set", ""},
        {"vantor/b1/dout/3/set", std::string("1\0", 2)},
        {"vantor/b1/dout/3/set", std::string(1 << 20, '1')},
        {"vantor/b1/counter/304/hold/set", "1"},
        {"vantor/b1/counter/3/hold/set", "1"},
        {"vantor/b2/dout/3/set", "1"},
        {"vantor/b1/dout/3", "1"},
        {"vantor/b1/dout/3/set/x", "1"},
    };
    for (const auto& [topic, payload] : bad) {
        EXPECT_FALSE(ParseControl("vantor", "b1", topic, payload, r, error)) << topic;
    }
}

TEST(MqttPayload, JsonTextsAreEscapedAndFloatsExact) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(JsonString("站1"), "\"站1\"");
    EXPECT_EQ(JsonString("x\xff\xc3"), "\"x\\ufffd\\ufffd\"");
    const float v[] = {0.1F, std::nanf(""), -2.5F};
    EXPECT_EQ(AnalogJson(7, 1.5, v, 3),
              "{\"seq\":7,\"count\":3,\"t\":1.500000,\"values\":[0.100000001,null,-2.5]}");
}

TEST(MqttPayload, BinaryLayoutIsLittleEndian) {
    const float v[] = {1.0F, -2.5F};
    const std::string b = AnalogBinary(0x0102030405060708ULL, 2.0, v, 2);
    ASSERT_EQ(b.size(), 24U + 8U);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x08);
    EXPECT_EQ(static_cast<unsigned char>(b[7]), 0x01);
    EXPECT_EQ(b[8], 2);
    double t = 0;
    std::memcpy(&t, b.data() + 16, 8);
    EXPECT_EQ(t, 2.0);
    float second = 0;
    std::memcpy(&second, b.data() + 28, 4);
    EXPECT_EQ(second, -2.5F);
}

// Sequence numbers of a channel's messages in order.
struct Seen {
    uint64_t seq;
    int count;
    std::string payload;
};

std::vector<Seen> AnalogOf(const std::vector<OutMessage>& out, const std::string& topic) {
    std::vector<Seen> seen;
    for (const OutMessage& m : out) {
        if (m.topic != topic) continue;
        unsigned long long seq = 0;
        int count = 0;
        EXPECT_EQ(std::sscanf(m.payload.c_str(), "{\"seq\":%llu,\"count\":%d", &seq, &count), 2);
        seen.push_back({seq, count, m.payload});
    }
    return seen;
}

TEST(MqttSampler, FollowsTheRingAcrossItsWrapAndMarksAClearedBlockAsAGap) {
    BridgeConfig c;
    c.station = "s";
    c.channels = "2";
    c.din = "4";
    std::string error;
    ASSERT_TRUE(FinishConfig(c, error)) << error;
    Sampler sampler(c);
    auto block = std::make_unique<protocol::SharedBlock>();
    protocol::InitBlockImage(*block);
    std::vector<OutMessage> out;
    for (int i = 0; i < 1000; ++i) protocol::PushSample(*block, 2, static_cast<float>(i));
    sampler.Collect(*block, 0, out);  // the backlog is not sent
    EXPECT_TRUE(AnalogOf(out, "vantor/s/analog/2").empty());
    ASSERT_EQ(out.size(), 1U);
    EXPECT_EQ(out[0].payload, "{\"4\":0}");
    EXPECT_TRUE(out[0].retained);

    out.clear();
    for (int i = 1000; i < 1003; ++i) protocol::PushSample(*block, 2, static_cast<float>(i));
    sampler.Collect(*block, 0, out);
    for (int i = 1003; i < 1900; ++i) protocol::PushSample(*block, 2, static_cast<float>(i));
    block->digitalIn[4] = 1;
    sampler.Collect(*block, 0, out);
    sampler.Collect(*block, 0, out);  // nothing new: no message
    auto seen = AnalogOf(out, "vantor/s/analog/2");
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_NE(seen[0].payload.find("\"values\":[1000,1001,1002]"), std::string::npos);
    EXPECT_EQ(seen[1].seq, seen[0].seq + 3);
    EXPECT_EQ(seen[1].count, 897);
    EXPECT_NE(seen[1].payload.find("[1003,1004,"), std::string::npos);
    EXPECT_NE(seen[1].payload.find(",1899]"), std::string::npos);
    EXPECT_EQ(out.back().payload, "{\"4\":1}");

    // A new server clears the block and starts its rings at 0: what the ring
    // holds is new, and the sequence skips so that subscribers see the loss.
    out.clear();
    protocol::ClearShared(*block);
    for (int i = 0; i < 5; ++i) protocol::PushSample(*block, 2, 50.0F + static_cast<float>(i));
    sampler.Collect(*block, 0, out);
    seen = AnalogOf(out, "vantor/s/analog/2");
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_GT(seen[0].seq, 1900U - 1000U);
    EXPECT_NE(seen[0].payload.find("[50,51,52,53,54]"), std::string::npos);
}

TEST(MqttConfig, FileThenChecksAndNeverAPasswordInIt) {
    test::TempDir dir;
    test::WriteFile(dir.File("a.conf"),
                    "[broker]\nhost = broker.lab\nport = 8883\n[bridge]\nstation = b1\n"
                    "channels = 0,3:20\ncontrol = on\n");
    BridgeConfig c;
    std::string error;
    ASSERT_TRUE(LoadConfigFile(dir.File("a.conf"), c, error)) << error;
    ASSERT_TRUE(FinishConfig(c, error)) << error;
    EXPECT_EQ(c.host, "broker.lab");
    EXPECT_EQ(c.port, 8883);
    EXPECT_EQ(c.clientId, "vantor-mqtt-b1");
    EXPECT_EQ(c.dout, "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15");

    test::WriteFile(dir.File("b.conf"), "[broker]\nport = 1883\npassword = secret\n");
    EXPECT_FALSE(LoadConfigFile(dir.File("b.conf"), c, error));
    EXPECT_NE(error.find("b.conf:3: a password is read only from a file"), std::string::npos)
        << error;
    // 0, and a pause long enough for a ring to wrap unseen, are refused.
    for (const char* interval : {"0", "51"}) {
        test::WriteFile(dir.File("c.conf"),
                        std::string("[bridge]\ninterval_ms = ") + interval + "\n");
        EXPECT_FALSE(LoadConfigFile(dir.File("c.conf"), c, error)) << interval;
    }
    EXPECT_FALSE(LoadConfigFile(dir.File("missing.conf"), c, error));

    for (const char* station : {"a/b", "a+", "#", ""}) {
        BridgeConfig s;
        s.station = station;
        if (*station == '\0') s.station = "x\n";
        EXPECT_FALSE(FinishConfig(s, error)) << station;
    }
    BridgeConfig lists;
    lists.station = "b1";
    lists.channels = "16";
    EXPECT_FALSE(FinishConfig(lists, error));
}

}  // namespace
}  // namespace vantor::mqtt
