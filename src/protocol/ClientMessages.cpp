#include "protocol/ClientMessages.h"

#include <cstring>

namespace vantor::protocol {

std::string RecordName(const char (&name)[kClientNameBytes]) {
    return {name, ::strnlen(name, kClientNameBytes - 1)};
}

void SetRecordName(char (&field)[kClientNameBytes], std::string_view name) {
    std::memset(field, 0, sizeof field);
    const size_t n = name.size() < sizeof field - 1 ? name.size() : sizeof field - 1;
    std::memcpy(field, name.data(), n);
}

int CounterIndexOf(int32_t channel) {
    if (channel == 500 || channel == 501) return channel - 500;
    if (channel >= 300 && channel <= 303) return channel - 300;
    return -1;
}

int FrequencySlotOf(int32_t channel) {
    return channel >= 200 && channel <= 207 ? channel - 200 : -1;
}

}  // namespace vantor::protocol
