#pragma once
// The payload records of the messages between client programs and the
// server's "Vantor" endpoint, and the bounds every reader keeps to. A payload
// may be shorter or longer than its record: readers take what is there,
// zero-fill the rest and never look beyond either.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "protocol/CopyDataCodes.h"

namespace vantor::protocol {

// Samples an analog reply carries at most; a larger request is cut to it.
constexpr int kAnalogReplyMax = 1000;

// 1134 and 1144 (both directions): the level word is at byte 104.
struct DigitalRecord {
    char name[kClientNameBytes];
    int32_t line;
    int32_t level;
};
// 1204 and 1214.
struct ChannelRecord {
    char name[kClientNameBytes];
    int32_t channel;
};
// 1184: channel and count come before the name.
struct AnalogRecord {
    int32_t channel;
    int32_t count;
    char name[kClientNameBytes];
};
// 1154: what the simulated mode of a client reads.
struct StateBlock {
    int32_t sine;  // 1: the simulated analog values follow a sine
    int32_t reserved0;
    float amplitude;
    int32_t reserved1[2];
    int32_t level[16];  // simulated digital inputs, 1 = high
};

static_assert(sizeof(DigitalRecord) == 108 && offsetof(DigitalRecord, line) == 100 &&
              offsetof(DigitalRecord, level) == 104);
static_assert(sizeof(ChannelRecord) == 104 && offsetof(ChannelRecord, channel) == 100);
static_assert(sizeof(AnalogRecord) == 108 && offsetof(AnalogRecord, count) == 4 &&
              offsetof(AnalogRecord, name) == 8);
static_assert(sizeof(StateBlock) == 84 && offsetof(StateBlock, amplitude) == 8 &&
              offsetof(StateBlock, level) == 20);

// Copies the payload over a zeroed record: a short payload leaves zeros, a
// long one is cut to the record.
template <typename Record>
Record ReadRecord(std::string_view payload) {
    Record r{};
    const size_t n = payload.size() < sizeof r ? payload.size() : sizeof r;
    if (n > 0) std::memcpy(&r, payload.data(), n);
    return r;
}

// The name field of a record as text: up to its first NUL, at most 99 bytes.
std::string RecordName(const char (&name)[kClientNameBytes]);
// Fills a name field: zeros, then name cut to 99 bytes.
void SetRecordName(char (&field)[kClientNameBytes], std::string_view name);

// The counter index (0..3) a client's counter channel reads: 500 and 501 are
// the encoder counters 300 and 301, 300..303 name one directly; else -1.
int CounterIndexOf(int32_t channel);
// The frequency slot (0..7) of a channel 200..207; else -1.
int FrequencySlotOf(int32_t channel);

}  // namespace vantor::protocol
