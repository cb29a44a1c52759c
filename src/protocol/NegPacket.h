#pragma once
// The unit of the negotiation link: one 2,072-byte datagram, little-endian.
// Peers send CONNECT/DISCONNECT in it; the server sends PORT.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/AcqRequest.h"

namespace vantor::protocol {

constexpr uint32_t kNegHeadMark = 0x55AAAA55u;
constexpr uint32_t kNegTailMark = 0xFFEEFFEEu;
constexpr int32_t kNegCodeRequest = 993;     // what the server sends
constexpr int32_t kNegCodeRequestAlt = 990;  // also carries a request
constexpr int kNegDataBytes = 2048;
constexpr int kNegPacketBytes = 2072;

// Server ports of the link: peers send to kNegServerPort; the server's PORT
// messages leave from kNegServerSendPort.
constexpr int kNegServerPort = 8998;
constexpr int kNegServerSendPort = 9898;

// The server's peer table: at most 22 peers, given ports from 9000 on.
constexpr int kMaxPeers = 22;
constexpr int kFirstPeerPort = 9000;
constexpr int kPeerNameBytes = 128;  // longer names are cut to 127 bytes
constexpr int kPeerHostBytes = 64;   // longer hosts are cut to 63 bytes

struct NegPacket {
    uint32_t head;
    uint32_t reserved0;
    uint16_t reserved1;
    uint16_t reserved2;
    int32_t code;
    int32_t length;  // bytes used in data
    unsigned char data[kNegDataBytes];
    uint32_t tail;
};

static_assert(offsetof(NegPacket, head) == 0);
static_assert(offsetof(NegPacket, reserved0) == 4);
static_assert(offsetof(NegPacket, reserved1) == 8);
static_assert(offsetof(NegPacket, reserved2) == 10);
static_assert(offsetof(NegPacket, code) == 12);
static_assert(offsetof(NegPacket, length) == 16);
static_assert(offsetof(NegPacket, data) == 20);
static_assert(offsetof(NegPacket, tail) == 2068);
static_assert(sizeof(NegPacket) == kNegPacketBytes);
static_assert(sizeof(AcqRequest) <= kNegDataBytes);

// A packet with its marks set and everything else zero.
inline NegPacket EmptyNegPacket() {
    NegPacket p{};
    p.head = kNegHeadMark;
    p.tail = kNegTailMark;
    return p;
}

// True for the codes whose data holds a request (990, 993).
inline bool CarriesRequest(const NegPacket& p) {
    return p.code == kNegCodeRequest || p.code == kNegCodeRequestAlt;
}

// The request in a packet's data (a copy: data is not aligned for it).
inline AcqRequest RequestOf(const NegPacket& p) {
    AcqRequest r{};
    std::memcpy(&r, p.data, sizeof r);
    return r;
}

// Puts a request into a packet: code 993, length 836.
inline void SetRequest(NegPacket& p, const AcqRequest& r) {
    p.code = kNegCodeRequest;
    p.length = static_cast<int32_t>(sizeof r);
    std::memcpy(p.data, &r, sizeof r);
}

}  // namespace vantor::protocol
