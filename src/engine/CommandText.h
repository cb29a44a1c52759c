#pragma once
// The command words of the negotiation link and what a received request does.
#include "engine/Protocol.h"

namespace vantor::engine {

class MergedRequest;
class PeerTable;

constexpr int kCommandNone = 0;
constexpr int kCommandPort = 1;
constexpr int kCommandConnect = 2;
constexpr int kCommandDisconnect = 3;

// Trims spaces at both ends of word in place, then compares it with PORT,
// CONNECT and DISCONNECT ignoring case: 1, 2, 3; anything else or null: 0.
int ClassifyCommand(char* word);

// Acts on one received request: CONNECT adds or refreshes the peer and then
// merges its lists (also when the table is full); DISCONNECT removes the
// peer; anything else does nothing. A CONNECT lacking field 1, 3, 4 or 5 is
// ignored. The text is split within its 512 bytes; counts are limited before
// any list is read. 0 when request is null, else 1.
int HandleRequest(PeerTable& peers, MergedRequest& merged, const AcqRequest* request);

}  // namespace vantor::engine
