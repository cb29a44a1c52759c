#pragma once
// UDP on the loopback interface: the packet link, its peers and tools only
// ever talk to 127.0.0.1.
#include <netinet/in.h>

namespace vantor::platform {

// 127.0.0.1:port (0 = any free port when bound).
sockaddr_in LoopbackAddress(int port);

// Binds the socket fd to 127.0.0.1:port. False with errno kept when the port
// is taken or fd is not a socket.
bool BindLoopback(int fd, int port);

}  // namespace vantor::platform
