#pragma once
// The acquisition request record: 836 bytes, the payload of negotiation
// packets and the type of the merged request. A wire format: little-endian
// int32 fields, no gaps.
#include <cstddef>
#include <cstdint>

namespace vantor::protocol {

constexpr int kTextBytes = 512;
constexpr int kMaxCounterIds = 4;
constexpr int kMaxDigitalIds = 16;
constexpr int kMaxAnalogIds = 16;
constexpr int kMaxFrequencyIds = 8;
constexpr int kFirstFrequencyId = 200;
constexpr int kFirstCounterId = 300;
// Samples per read are limited to the acquisition thread's sample buffer.
constexpr int kSampleBufferSize = 1000;
// Simulated samples taken when a request names fewer than 1 (a board takes
// 3, see BoardSamplesPerRead).
constexpr int kDefaultSamples = 10;

struct AcqRequest {
    char text[kTextBytes];
    int32_t counterCount;
    int32_t counterIds[kMaxCounterIds];
    int32_t digitalInCount;
    int32_t digitalInIds[kMaxDigitalIds];
    int32_t digitalOutCount;
    int32_t digitalOutIds[kMaxDigitalIds];
    int32_t analogCount;
    int32_t analogSamples[kMaxAnalogIds];
    int32_t analogIds[kMaxAnalogIds];
    int32_t frequencyCount;
    int32_t frequencyIds[kMaxFrequencyIds];
};

static_assert(offsetof(AcqRequest, text) == 0);
static_assert(offsetof(AcqRequest, counterCount) == 512);
static_assert(offsetof(AcqRequest, counterIds) == 516);
static_assert(offsetof(AcqRequest, digitalInCount) == 532);
static_assert(offsetof(AcqRequest, digitalInIds) == 536);
static_assert(offsetof(AcqRequest, digitalOutCount) == 600);
static_assert(offsetof(AcqRequest, digitalOutIds) == 604);
static_assert(offsetof(AcqRequest, analogCount) == 668);
static_assert(offsetof(AcqRequest, analogSamples) == 672);
static_assert(offsetof(AcqRequest, analogIds) == 736);
static_assert(offsetof(AcqRequest, frequencyCount) == 800);
static_assert(offsetof(AcqRequest, frequencyIds) == 804);
static_assert(sizeof(AcqRequest) == 836);

// Empties a request: text zero, counts 0, counter ids 0, every other id -1.
// analogSamples is left as it was (entries beyond the count carry no meaning).
void ResetRequest(AcqRequest& request);

// A request in its empty state (analogSamples zero).
AcqRequest EmptyRequest();

// Limits every count to its list (a count below 0 becomes 0, above the list
// size the list size), so no reader walks past a list.
void ClampCounts(AcqRequest& request);

// Simulated samples to take per cycle for an analogSamples entry: below 1
// means the default 10, above the sample buffer is limited to 1000.
int SamplesPerRead(int32_t requested);

}  // namespace vantor::protocol
