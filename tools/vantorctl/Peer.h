#pragma once
// vantorctl peer: a reference peer of the negotiation link. It announces
// itself with CONNECT every few seconds, prints the PORT messages the server
// sends it, optionally shows its channels from the shared data block, and
// says DISCONNECT when it ends.
#include <string>
#include <utility>
#include <vector>

#include "Commands.h"
#include "protocol/AcqRequest.h"

namespace vantor::ctl {

struct PeerOptions {
    std::string name;
    std::string host = "127.0.0.1";
    std::string analog;   // "3:20,5": channel 3 with 20 samples per read, 5 with the default
    std::string freq;     // frequency ids 200..207
    std::string counter;  // counter ids 300..303
    std::string din;      // digital input lines 0..15
    std::string dout;     // digital output lines 0..15
    double every = 5.0;   // seconds between CONNECTs
    double duration = 0;  // seconds to run; 0 until SIGINT/SIGTERM
    bool show = false;
    int peerCount = 1;  // CONNECT fields 4 and 5
    int peerExtra = 0;
};

// One list entry: id and samples per read (0: the server's default).
using ChannelList = std::vector<std::pair<int, int>>;

// Parses "id[:samples],..." with ids in minId..maxId; samples (1..1000) only
// when allowed. An empty text is an empty list. false with a reason on error.
bool ParseChannelList(const std::string& text, int minId, int maxId, bool samplesAllowed,
                      ChannelList& out, std::string& error);

// The CONNECT request of these options: text and lists. false with a reason
// when a name, host or list is not usable.
bool BuildConnectRequest(const PeerOptions& options, protocol::AcqRequest& out, std::string& error);

// The peer's name of a received PORT text and its port; false when the text
// is not a PORT message.
bool ParsePortText(const char* text, std::string& name, int& port);

int RunPeer(const PeerOptions& options, Console& console);

}  // namespace vantor::ctl
