// vantorctl peer's lists and texts, and its refusals before touching the link.
#include <gtest/gtest.h>

#include <sstream>

#include "Cli.h"
#include "Peer.h"

namespace vantor::ctl {
namespace {

using protocol::BuildConnectRequest;
using protocol::ChannelList;
using protocol::ParseChannelList;
using protocol::ParsePortText;

TEST(PeerLists, ParsesIdsWithOptionalSamples) {
    ChannelList list;
    std::string error;
    ASSERT_TRUE(ParseChannelList("3:20, 5", 0, 15, true, list, error)) << error;
    EXPECT_EQ(list, (ChannelList{{3, 20}, {5, 0}}));
    ASSERT_TRUE(ParseChannelList("", 0, 15, true, list, error));
    EXPECT_TRUE(list.empty());
    for (const char* bad : {"16", "-1", "3:0", "3:1001", "x", "3,3", "3,", "3:", ",3"}) {
        EXPECT_FALSE(ParseChannelList(bad, 0, 15, true, list, error)) << bad;
    }
    EXPECT_FALSE(ParseChannelList("200:5", 200, 207, false, list, error));
    EXPECT_NE(error.find("only for analog"), std::string::npos);
}

TEST(PeerLists, ConnectRequestCarriesTextAndEveryList) {
    protocol::PeerDescription o{.name = " probe1 ",
                                .analog = "3:20,5",
                                .freq = "201",
                                .counter = "300,303",
                                .din = "1",
                                .dout = "4",
                                .peerCount = 5,
                                .peerExtra = 7};
    protocol::AcqRequest r{};
    std::string error;
    ASSERT_TRUE(BuildConnectRequest(o, r, error)) << error;
    EXPECT_STREQ(r.text, "CONNECT,probe1,vantorctl,127.0.0.1,5,7");
    EXPECT_EQ(r.analogCount, 2);
    EXPECT_EQ(r.analogSamples[0], 20);
    EXPECT_EQ(r.analogIds[1], 5);
    EXPECT_EQ(r.frequencyIds[0], 201);
    EXPECT_EQ(r.counterCount, 2);
    EXPECT_EQ(r.digitalInIds[0], 1);
    EXPECT_EQ(r.digitalOutIds[0], 4);
    EXPECT_EQ(r.digitalOutIds[1], -1);

    o.name = "a,b";
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
    o.name.assign(128, 'n');
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
    o.name = "ok";
    o.counter = "300,301,302,303,300";
    EXPECT_FALSE(BuildConnectRequest(o, r, error));
}

TEST(PeerLists, PortTextNamesThePeerAndItsPort) {
    std::string name;
    int port = 0;
    ASSERT_TRUE(ParsePortText("PORT,probe1,9003", name, port));
    EXPECT_EQ(name, "probe1");
    EXPECT_EQ(port, 9003);
    EXPECT_FALSE(ParsePortText("CONNECT,probe1,9003", name, port));
    EXPECT_FALSE(ParsePortText("PORT,probe1", name, port));
    EXPECT_FALSE(ParsePortText("PORT,probe1,x", name, port));
}

int RunWords(std::initializer_list<const char*> words, std::string& out) {
    std::vector<std::string> args(words.begin(), words.end());
    std::ostringstream o;
    std::ostringstream e;
    Console console{o, e, false, false};
    int code = RunCli(args, console);
    out = o.str();
    return code;
}

TEST(PeerCli, UsageErrorsEndWithTwoBeforeAnythingIsSent) {
    std::string out;
    EXPECT_EQ(RunWords({"peer"}, out), kExitUsage);
    EXPECT_EQ(RunWords({"peer", "--name", "p", "--analog", "17"}, out), kExitUsage);
    EXPECT_EQ(RunWords({"peer", "--name", "p", "--every", "0"}, out), kExitUsage);
    EXPECT_EQ(RunWords({"peer", "--name", " "}, out), kExitUsage);
    EXPECT_EQ(out.find("CONNECT to"), std::string::npos);
}

}  // namespace
}  // namespace vantor::ctl
