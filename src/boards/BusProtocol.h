#pragma once
// The wire format between the port driver's socket backend and an emulated
// bus served by another process (vantor-boardsim). Fixed 8-byte messages on a
// Unix stream socket, little-endian. Every request except a write gets one
// reply; writes are unanswered so an output costs no round trip (the stream
// keeps them in order with the reads that follow).
#include <cstddef>
#include <cstdint>

namespace vantor::boards::wire {

constexpr uint32_t kProtocolVersion = 700;  // reported as the driver version

enum Op : uint8_t {
    kHello = 1,    // reply word: protocol version
    kClaim = 2,    // port = first port, arg = length | sharable << 16; reply word: handle
    kRelease = 3,  // arg = handle; reply word: 0
    kRead = 4,     // port; reply byte
    kWrite = 5,    // port, value; no reply
};

struct Request {
    uint8_t op;
    uint8_t value;
    uint16_t port;
    uint32_t arg;
};

struct Reply {
    uint8_t status;  // 1 done, 0 refused
    uint8_t value;
    uint16_t reserved;
    uint32_t word;
};

static_assert(sizeof(Request) == 8 && offsetof(Request, port) == 2 && offsetof(Request, arg) == 4);
static_assert(sizeof(Reply) == 8 && offsetof(Reply, word) == 4);

}  // namespace vantor::boards::wire
