#include "protocol/PeerSender.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/LoopbackUdp.h"
#include "protocol/NegPacket.h"

namespace vantor::protocol {

PeerSender::PeerSender() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    // Bound before the first send, else the kernel binds it to every
    // interface and anyone on the network could answer on its port.
    if (m_fd >= 0 && !platform::BindLoopback(m_fd, 0)) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PeerSender::~PeerSender() {
    if (m_fd >= 0) ::close(m_fd);
}

bool PeerSender::Send(const AcqRequest& request) const {
    if (m_fd < 0) return false;
    NegPacket packet = EmptyNegPacket();
    SetRequest(packet, request);
    sockaddr_in to = platform::LoopbackAddress(kNegServerPort);
    return ::sendto(m_fd, &packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(sizeof packet);
}

}  // namespace vantor::protocol
