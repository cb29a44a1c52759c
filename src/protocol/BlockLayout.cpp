#include "protocol/BlockLayout.h"

#include <cstring>

namespace vantor::protocol {

void InitBlockImage(SharedBlock& image) {
    std::memset(&image, 0, sizeof image);
    image.headMark = kHeadMark;
    image.tailMark = kTailMark;
}

void ClearShared(SharedBlock& shared) {
    std::memset(&shared, 0, sizeof shared);
}

namespace {

// Keeps an index read from shared memory inside the ring, whatever a writer left there.
int32_t Wrap(int32_t index) {
    return static_cast<int32_t>(static_cast<uint32_t>(index) % kRingSlots);
}

void Push(AnalogRing& ring, float value) {
    int32_t next = Wrap(ring.next);
    int32_t oldest = Wrap(ring.oldest);
    ring.samples[next] = value;
    ++next;
    if (next % kRingSlots <= oldest) oldest = (oldest + 1) % kRingSlots;
    ring.next = next % kRingSlots;
    ring.oldest = oldest;
}

}  // namespace

bool PushSample(SharedBlock& block, int channel, float value) {
    if (channel < 0 || channel >= kAnalogChannels) return false;
    Push(block.analogRing[channel], value);
    return true;
}

bool PushSamples(SharedBlock& block, int channel, const float* values, int count) {
    if (channel < 0 || channel >= kAnalogChannels) return false;
    AnalogRing& ring = block.analogRing[channel];
    for (int i = 0; i < count; ++i) Push(ring, values[i]);
    return true;
}

int RingFill(const AnalogRing& ring) {
    return (Wrap(ring.next) - Wrap(ring.oldest) + kRingSlots) % kRingSlots;
}

int NewestSamples(const AnalogRing& ring, float* out, int maxCount) {
    int fill = RingFill(ring);
    int n = maxCount < fill ? maxCount : fill;
    int32_t index = Wrap(ring.next);
    for (int i = 0; i < n; ++i) {
        index = (index + kRingSlots - 1) % kRingSlots;
        out[i] = ring.samples[index];
    }
    return n < 0 ? 0 : n;
}

}  // namespace vantor::protocol
