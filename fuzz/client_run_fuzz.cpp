// Fuzzes CHardWare::Run with any code, data word and payload: the first four
// bytes pick the code (mostly one of the table's), the next eight the data
// word, the rest is the payload, held in a buffer of exactly its size so
// that ASan sees any read beyond it. The object lives across inputs; its
// MODE 3 reads then use whatever state block came in.
#include <cstdint>
#include <cstring>
#include <vector>

#include "vantor/CHardWare.h"

namespace {

class Probe : public CHardWare {
public:
    int ReplyCount() const { return analogReplyCount; }
};

constexpr uint32_t kCodes[] = {1124, 1144, 1154, 1194, 1204, 1214, 1134, 1184};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Probe hw;
    if (size < 12) return 0;
    uint32_t code = 0;
    uint64_t word = 0;
    std::memcpy(&code, data, 4);
    std::memcpy(&word, data + 4, 8);
    if (code < 0x80000000u) code = kCodes[code % (sizeof kCodes / sizeof kCodes[0])];
    // 1124 registers with a server that is not there: kept rare, it is slow.
    if (code == 1124 && (word & 0xFF) != 0) return 0;
    const std::vector<char> payload(data + 12, data + size);
    const COPYDATASTRUCT m{code, word, std::string_view(payload.data(), payload.size())};
    hw.Run(&m);
    if (hw.ReplyCount() < 0 || hw.ReplyCount() > CHardWare::kAnalogReplyMax) __builtin_trap();
    return 0;
}
