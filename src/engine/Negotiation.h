#pragma once
// The two threads of the negotiation link. The receive thread waits for
// datagrams and acts on every request packet; the send thread ages the peer
// table and tells each peer its port.
#include <cstddef>

namespace vantor::engine {

class AcqEngine;

// Both return 0 when the engine's stop ends them.
int NegRcvThread(AcqEngine* engine);
int NegSndThread(AcqEngine* engine);

// "PORT,<name>,<port>" into out (cut to size); the PORT message's text.
void FormatPortText(char* out, size_t size, const char* name, int port);

}  // namespace vantor::engine
