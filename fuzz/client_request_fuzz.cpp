// Fuzzes what the server's "Vantor" endpoint takes from a client message:
// any code, data word and payload (in a buffer of exactly its size, so ASan
// sees any read beyond it) into ParseClientRequest. A request must come out
// within its bounds: a name of at most 99 bytes, an analog count 0..1000.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "host/ClientService.h"
#include "protocol/ClientMessages.h"

namespace {
constexpr uint32_t kCodes[] = {1134, 1144, 1174, 1184, 1204, 1214, 1064, 1054};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t code = 0;
    uint64_t word = 0;
    if (!vantor::fuzz::MessageHead(data, size, code, word)) return 0;
    if (code < 0x80000000u) code = kCodes[code % (sizeof kCodes / sizeof kCodes[0])];
    const std::vector<char> payload(data + 12, data + size);
    const vantor::platform::CopyDataMessage m{code, word,
                                              std::string_view(payload.data(), payload.size())};
    vantor::host::ClientRequest request;
    if (!vantor::host::ParseClientRequest(m, request)) return 0;
    if (request.name.size() >= vantor::protocol::kClientNameBytes) __builtin_trap();
    if (code == 1184 && (request.value < 0 || request.value > vantor::protocol::kAnalogReplyMax))
        __builtin_trap();
    if ((code == 1134 || code == 1144) && request.value != 0 && request.value != 1)
        __builtin_trap();
    return 0;
}
