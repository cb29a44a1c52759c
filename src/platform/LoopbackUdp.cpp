#include "platform/LoopbackUdp.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdint>

namespace vantor::platform {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool BindLoopback(int fd, int port) {
    const sockaddr_in addr = LoopbackAddress(port);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

}  // namespace vantor::platform
