#pragma once
// Serves an emulated bus at a Unix stream socket for port drivers in other
// processes (the socket backend). Single-threaded: the owner calls Step in
// its loop, which also watches one extra descriptor (vantor-boardsim's
// standard input). A connection's claim is released when it closes or when
// it releases it; a connection cannot release another one's claim.
#include <map>
#include <string>
#include <vector>

#include "emulation/IsaBus.h"
#include "platform/UniqueFd.h"

namespace vantor::emulation {

class BusServer {
public:
    explicit BusServer(IsaBus& bus) : m_bus(bus) {}
    ~BusServer();
    BusServer(const BusServer&) = delete;
    BusServer& operator=(const BusServer&) = delete;

    // Binds and listens at path. A stale socket file there is replaced; any
    // other file there is left alone and the listen fails.
    bool Listen(const std::string& path, std::string& why);
    // Waits up to timeoutMs for traffic, handles it, and returns true when
    // extraFd (if not -1) is readable or at its end.
    bool Step(int timeoutMs, int extraFd = -1);
    int Connections() const { return static_cast<int>(m_conns.size()); }

private:
    struct Connection {
        platform::UniqueFd fd;
        std::vector<uint8_t> pending;
        uint32_t claim = 0;
    };
    void Accept();
    bool Serve(int fd, Connection& conn);  // false: closed
    void Drop(int fd);

    IsaBus& m_bus;
    platform::UniqueFd m_listen;
    std::string m_path;
    std::map<int, Connection> m_conns;  // by descriptor
};

}  // namespace vantor::emulation
