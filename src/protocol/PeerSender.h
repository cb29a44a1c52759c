#pragma once
// A peer's sending side of the negotiation link: one UDP socket that sends
// requests (CONNECT, DISCONNECT) to the server's port on the loopback.
#include "protocol/AcqRequest.h"

namespace vantor::protocol {

class PeerSender {
public:
    PeerSender();
    ~PeerSender();
    PeerSender(const PeerSender&) = delete;
    PeerSender& operator=(const PeerSender&) = delete;

    // Sends one 2,072-byte packet carrying request; false when it did not go out.
    bool Send(const AcqRequest& request) const;

private:
    int m_fd;
};

}  // namespace vantor::protocol
