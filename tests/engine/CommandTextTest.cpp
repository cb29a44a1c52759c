// Command words and the action of one received request, with the real
// system library splitting the fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "EngineTestSupport.h"
#include "engine/CommandText.h"
#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "syslib/Korbel.h"

namespace vantor::engine {
namespace {

using test_support::Numbered;

AcqRequest Command(const std::string& text, std::initializer_list<int> analog = {}) {
    return test_support::Request(text, analog, 20);
}

class CommandTextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(DMI_Load(1), 1); }
    static void TearDownTestSuite() { DMI_Unload(); }

    int Handle(const AcqRequest& r) { return HandleRequest(peers, merged, &r); }

    int64_t now = 0;
    PeerTable peers{[this] { return now; }};
    MergedRequest merged;
};

TEST_F(CommandTextTest, ClassifiesTrimmedWordsIgnoringCase) {
    const struct {
        const char* word;
        int expected;
    } kCases[] = {{"disconnect", kCommandDisconnect},
                  {"Port", kCommandPort},
                  {"CONNECTX", kCommandNone},
                  {"   ", kCommandNone}};
    for (const auto& c : kCases) {
        std::string word = c.word;
        EXPECT_EQ(ClassifyCommand(word.data()), c.expected) << c.word;
    }
    char a[] = "  cOnNeCt ";
    EXPECT_EQ(ClassifyCommand(a), kCommandConnect);
    EXPECT_STREQ(a, "cOnNeCt");
    EXPECT_EQ(ClassifyCommand(nullptr), kCommandNone);
}

TEST_F(CommandTextTest, ConnectAddsAndMergesDisconnectFreesAndTheRestChangeNothing) {
    Handle(Command("CONNECT,probe0,x,127.0.0.1,5", {3}));  // no field 5
    Handle(Command("PORT,probe0,9000", {3}));
    Handle(Command("HELLO,probe0,x,127.0.0.1,5,7", {3}));
    Handle(Command("", {3}));
    EXPECT_EQ(peers.Count(), 0);
    EXPECT_EQ(merged.Snapshot().analogCount, 0);
    EXPECT_EQ(HandleRequest(peers, merged, nullptr), 0);

    EXPECT_EQ(Handle(Command(" Connect ,probe1,x,127.0.0.1,5,7", {3, 5})), 1);
    // Host, count and port of the entry: Negotiation.StatusAndChangeNotificationFromAnotherThread.
    ASSERT_EQ(peers.Count(), 1);
    EXPECT_STREQ(peers.Entries()[0].name, "probe1");
    EXPECT_EQ(peers.Entries()[0].peerExtra, 7);
    AcqRequest m = merged.Snapshot();
    ASSERT_EQ(m.analogCount, 2);
    EXPECT_EQ(m.analogIds[1], 5);
    EXPECT_EQ(m.analogSamples[1], 20);

    Handle(Command("CONNECT,probe2,x,127.0.0.1,five,7"));  // numbers default to zero
    EXPECT_EQ(peers.Entries()[1].peerCount, 0);
    Handle(Command("DISCONNECT, probe1 "));
    Handle(Command("DISCONNECT"));
    ASSERT_EQ(peers.Count(), 1);
    Handle(Command("CONNECT,probe3,x,127.0.0.1,1,2"));
    EXPECT_EQ(peers.Entries()[1].port, 9000);  // the freed port
}

TEST_F(CommandTextTest, AFullTableStillMergesTheRefusedRequest) {
    for (int i = 0; i < kMaxPeers; ++i) {
        Handle(Command(Numbered("CONNECT,p", i) + ",x,h,0,0"));
    }
    Handle(Command("CONNECT,late,x,h,0,0", {9}));
    EXPECT_EQ(peers.Count(), kMaxPeers);
    EXPECT_EQ(merged.Snapshot().analogIds[0], 9);
}

TEST_F(CommandTextTest, UnterminatedTextIsSplitWithinItsBytes) {
    std::string text = "CONNECT,p,x,h,1,";
    text += std::string(kTextBytes - text.size() - 1, '0') + "2";
    AcqRequest r = EmptyRequest();
    std::memcpy(r.text, text.data(), kTextBytes);  // no NUL anywhere
    std::memcpy(&r.counterCount, "1111", 4);       // digits right behind the text
    Handle(r);
    ASSERT_EQ(peers.Count(), 1);
    EXPECT_EQ(peers.Entries()[0].peerExtra, 2);
    EXPECT_EQ(peers.Entries()[0].request.counterCount, kMaxCounterIds);  // limited
}

}  // namespace
}  // namespace vantor::engine
