#pragma once
// The texts and channel lists a peer sends on the negotiation link, built
// from the words a user types ("3:20,5"), without any I/O.
#include <string>
#include <utility>
#include <vector>

#include "protocol/AcqRequest.h"

namespace vantor::protocol {

// What a peer asks for, as typed: each list is "id[:samples],...".
struct PeerDescription {
    std::string name;
    std::string host = "127.0.0.1";
    std::string program = "vantorctl";  // CONNECT field 2, not read by the server
    std::string analog;                 // "3:20,5": channel 3 with 20 samples per read, 5 default
    std::string freq;                   // frequency ids 200..207
    std::string counter;                // counter ids 300..303
    std::string din;                    // digital input lines 0..15
    std::string dout;                   // digital output lines 0..15
    int peerCount = 1;                  // CONNECT fields 4 and 5
    int peerExtra = 0;
};

// One list entry: id and samples per read (0: the server's default).
using ChannelList = std::vector<std::pair<int, int>>;

// Parses "id[:samples],..." with ids in minId..maxId; samples (1..1000) only
// when allowed. An empty text is an empty list. false with a reason on error.
bool ParseChannelList(const std::string& text, int minId, int maxId, bool samplesAllowed,
                      ChannelList& out, std::string& error);

// The name as the server keeps it: spaces at both ends removed.
std::string TrimmedPeerName(const std::string& name);

// The CONNECT request of a peer description: text and lists. false with a reason when a
// name, host or list is not usable.
bool BuildConnectRequest(const PeerDescription& options, AcqRequest& out, std::string& error);

// The DISCONNECT request of a (trimmed) peer name.
AcqRequest BuildDisconnectRequest(const std::string& name);

// The peer's name of a received PORT text and its port; false when the text
// is not a PORT message.
bool ParsePortText(const char* text, std::string& name, int& port);

}  // namespace vantor::protocol
