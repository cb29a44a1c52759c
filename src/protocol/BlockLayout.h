#pragma once
// Layout of the shared data block "NXSharedMemory": 65,900 bytes, little-endian,
// no gaps. Every program that attaches uses exactly this layout (there is no
// version field), so every offset is pinned below.
#include <cstddef>
#include <cstdint>

namespace vantor::protocol {

// The block's shared-memory name (its mutex: the same followed by "Mutex").
inline constexpr const char* kBlockName = "NXSharedMemory";
constexpr size_t kBlockSize = 65900;
constexpr int kAnalogChannels = 16;
constexpr int kRingSlots = 1024;
constexpr int kDigitalLines = 16;
constexpr int kFrequencySlots = 8;
constexpr int kCounters = 4;
constexpr uint32_t kHeadMark = 0x55AAAA55u;
constexpr uint32_t kTailMark = 0xBBEEEEBBu;
constexpr int32_t kFirstRingOffset = 136;

struct AnalogRing {
    int32_t oldest;  // index of the oldest sample held
    int32_t next;    // index the next sample goes to; empty when equal to oldest
    float samples[kRingSlots];
};

struct FrequencySlot {
    int32_t resetFlag;  // published as 0
    float value;
};

struct SharedBlock {
    uint32_t headMark;
    int32_t firstRingOffset;
    int32_t digitalIn[kDigitalLines];
    int32_t digitalOutRequest[kDigitalLines];
    AnalogRing analogRing[kAnalogChannels];
    FrequencySlot frequencySlot[kFrequencySlots];
    int32_t counterHold[kCounters];
    float counterValue[kCounters];
    uint32_t tailMark;
};

static_assert(sizeof(float) == 4 && sizeof(int32_t) == 4);
static_assert(sizeof(AnalogRing) == 4104);
static_assert(offsetof(AnalogRing, oldest) == 0);
static_assert(offsetof(AnalogRing, next) == 4);
static_assert(offsetof(AnalogRing, samples) == 8);
static_assert(sizeof(FrequencySlot) == 8);
static_assert(offsetof(FrequencySlot, value) == 4);
static_assert(offsetof(SharedBlock, headMark) == 0);
static_assert(offsetof(SharedBlock, firstRingOffset) == 4);
static_assert(offsetof(SharedBlock, digitalIn) == 8);
static_assert(offsetof(SharedBlock, digitalOutRequest) == 72);
static_assert(offsetof(SharedBlock, analogRing) == 136);
static_assert(offsetof(SharedBlock, frequencySlot) == 65800);
static_assert(offsetof(SharedBlock, counterHold) == 65864);
static_assert(offsetof(SharedBlock, counterValue) == 65880);
static_assert(offsetof(SharedBlock, tailMark) == 65896);
static_assert(sizeof(SharedBlock) == kBlockSize);

// The block image's initial state: marks set, every ring empty, all else 0.
void InitBlockImage(SharedBlock& image);
// A fresh shared area: every byte 0 (the caller holds the block's mutex).
void ClearShared(SharedBlock& shared);

// Appends one sample to ring `channel`; a channel outside 0..15 is refused
// (false, nothing written). A full ring drops its oldest sample.
bool PushSample(SharedBlock& block, int channel, float value);
// Appends count samples in order; false (and nothing written) for a bad channel.
bool PushSamples(SharedBlock& block, int channel, const float* values, int count);

// Copies up to maxCount of the newest samples of a ring, newest first, and
// returns how many were copied. Tolerates garbage indices (clamped to 0..1023).
int NewestSamples(const AnalogRing& ring, float* out, int maxCount);
// Number of samples a ring holds (0..1023).
int RingFill(const AnalogRing& ring);

}  // namespace vantor::protocol
