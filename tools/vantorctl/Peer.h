#pragma once
// vantorctl peer: a reference peer of the negotiation link. It announces
// itself with CONNECT every few seconds, prints the PORT messages the server
// sends it, optionally shows its channels from the shared data block, and
// says DISCONNECT when it ends.
#include "Commands.h"
#include "protocol/PeerRequest.h"

namespace vantor::ctl {

struct PeerOptions {
    protocol::PeerDescription desc;  // name, host and channel lists
    double every = 5.0;              // seconds between CONNECTs
    double duration = 0;             // seconds to run; 0 until SIGINT/SIGTERM
    bool show = false;
};

int RunPeer(const PeerOptions& options, Console& console);

}  // namespace vantor::ctl
