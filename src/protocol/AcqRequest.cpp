#include "protocol/AcqRequest.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace vantor::protocol {

void ResetRequest(AcqRequest& request) {
    std::memset(request.text, 0, sizeof request.text);
    request.counterCount = 0;
    std::fill(std::begin(request.counterIds), std::end(request.counterIds), 0);
    request.digitalInCount = 0;
    std::fill(std::begin(request.digitalInIds), std::end(request.digitalInIds), -1);
    request.digitalOutCount = 0;
    std::fill(std::begin(request.digitalOutIds), std::end(request.digitalOutIds), -1);
    request.analogCount = 0;
    std::fill(std::begin(request.analogIds), std::end(request.analogIds), -1);
    request.frequencyCount = 0;
    std::fill(std::begin(request.frequencyIds), std::end(request.frequencyIds), -1);
}

AcqRequest EmptyRequest() {
    AcqRequest request{};
    ResetRequest(request);
    return request;
}

void ClampCounts(AcqRequest& request) {
    request.counterCount = std::clamp(request.counterCount, 0, kMaxCounterIds);
    request.digitalInCount = std::clamp(request.digitalInCount, 0, kMaxDigitalIds);
    request.digitalOutCount = std::clamp(request.digitalOutCount, 0, kMaxDigitalIds);
    request.analogCount = std::clamp(request.analogCount, 0, kMaxAnalogIds);
    request.frequencyCount = std::clamp(request.frequencyCount, 0, kMaxFrequencyIds);
}

int SamplesPerRead(int32_t requested) {
    if (requested < 1) return kDefaultSamples;
    return std::min<int32_t>(requested, kSampleBufferSize);
}

}  // namespace vantor::protocol
