// The register maps: one constant table per card type, each entry a register
// by name and its offset from the card's base.
#include "boards/RegisterMap.h"

#include <span>

namespace vantor::boards {
namespace {

// The registers beyond the slots, numbered on from them so that one entry
// type names any register.
enum FurtherRegister : int {
    kFrequency1Byte0 = kSlotCount,
    kFrequency1Byte1,
    kFrequency1Byte2,
    kFrequency2Byte0,
    kFrequency2Byte1,
    kFrequency2Byte2,
    kFreqStatus,
    kCounterResetA,
    kCounterResetB,
    kCounter0High,
    kCounter1High,
    kCounter0Low,
    kCounter1Low,
    kGate,
    kGateSelect,
    kGateData0,
    kGateData1,
    kGateData2,
    kGateData3,
    kEnc3Port0,
    kEnc3Port1,
};

struct MapEntry {
    int reg;         // a RegisterSlot or a FurtherRegister
    int32_t offset;  // from the base; the address itself where the map ignores the base
};

struct TypeMap {
    uint8_t typeCode;
    bool ignoresBase;
    std::span<const MapEntry> entries;
};

// A type 0x18 card at base 0x320, with the separate counter card's ports
// (kEnc3Map) beside it.
constexpr int32_t kInitialBase = 0x320;
constexpr MapEntry kInitialLayout[] = {
    {kDigitalInHigh, 7},   {kDigitalInLow, 6},    {kDigitalOutHigh, 5},  {kDigitalOutLow, 4},
    {kConverter0High, 3},  {kConverter0Low, 2},   {kConverter1High, 11}, {kConverter1Low, 10},
    {kConverter2High, 13}, {kConverter2Low, 12},  {kConverter3High, 15}, {kConverter3Low, 14},
    {kSpare13, 1},         {kSpare14, 1},         {kExtraOutput, 1},     {kConverterStatus, 0},
    {kFrequency1Byte0, 6}, {kFrequency1Byte1, 7}, {kFrequency1Byte2, 8}, {kFreqStatus, 15},
    {kCounterResetA, 6},   {kCounterResetB, 14},  {kCounter0High, 22},   {kCounter1High, 24},
    {kCounter0Low, 21},    {kCounter1Low, 23},    {kGate, 24},           {kGateSelect, 25},
    {kGateData0, 27},      {kGateData1, 28},      {kGateData2, 29},      {kGateData3, 30},
};

// Type 0: only the separate counter card, at fixed ports.
constexpr MapEntry kEnc3Map[] = {{kEnc3Port0, 0x240}, {kEnc3Port1, 0x241}};

constexpr MapEntry kMap18[] = {
    {kDigitalInHigh, 7}, {kDigitalInLow, 6},    {kDigitalOutHigh, 5},
    {kDigitalOutLow, 4}, {kDigitalOutThird, 1}, {kConverter0High, 3},
    {kConverter0Low, 2}, {kExtraOutput, 1},     {kConverterStatus, 0},
};

constexpr MapEntry kMap21[] = {
    {kDigitalInHigh, 7},   {kDigitalInLow, 6},    {kDigitalOutHigh, 5},  {kDigitalOutLow, 4},
    {kDigitalOutThird, 1}, {kConverter0High, 3},  {kConverter0Low, 2},   {kConverter1High, 11},
    {kConverter1Low, 10},  {kConverter2High, 13}, {kConverter2Low, 12},  {kConverter3High, 15},
    {kConverter3Low, 14},  {kExtraOutput, 1},     {kConverterStatus, 0},
};

constexpr MapEntry kMap23[] = {
    {kDigitalInHigh, 5},    {kDigitalInLow, 4},    {kDigitalOutHigh, 5},   {kDigitalOutLow, 4},
    {kDigitalOutThird, 1},  {kConverter0High, 3},  {kConverter0Low, 2},    {kConverter1High, 11},
    {kConverter1Low, 10},   {kConverter2High, 13}, {kConverter2Low, 12},   {kConverter3High, 15},
    {kConverter3Low, 14},   {kExtraOutput, 1},     {kConverterStatus, 0},  {kFrequency1Byte0, 6},
    {kFrequency1Byte1, 7},  {kFrequency1Byte2, 8}, {kFrequency2Byte0, 12}, {kFrequency2Byte1, 13},
    {kFrequency2Byte2, 14}, {kCounter0High, 22},   {kCounter1High, 24},    {kCounter0Low, 21},
    {kCounter1Low, 23},
};

// Its counters are read from converters 1 and 2.
constexpr MapEntry kMap24[] = {
    {kDigitalInHigh, 5},   {kDigitalInLow, 4},    {kDigitalOutHigh, 5},  {kDigitalOutLow, 4},
    {kDigitalOutThird, 1}, {kConverter0High, 3},  {kConverter0Low, 2},   {kConverter1High, 11},
    {kConverter1Low, 10},  {kConverter2High, 13}, {kConverter2Low, 12},  {kExtraOutput, 1},
    {kConverterStatus, 0}, {kFrequency1Byte0, 6}, {kFrequency1Byte1, 7}, {kFrequency1Byte2, 8},
    {kFreqStatus, 15},     {kCounterResetA, 6},   {kCounterResetB, 14},
};

// Frequency 2 byte 2 is the frequency select, byte 0 the count's fourth byte.
constexpr MapEntry kMap25[] = {
    {kDigitalInHigh, 5},
    {kDigitalInLow, 4},
    {kDigitalOutHigh, 5},
    {kDigitalOutLow, 4},
    {kDigitalOutThird, 13},
    {kConverter0High, 3},
    {kConverter0Low, 2},
    {kConverter1High, 11},
    {kConverter1Low, 10},
    {kExtraOutput, 1},
    {kFrequency1Byte0, 6},
    {kFrequency1Byte1, 7},
    {kFrequency1Byte2, 8},
    {kFrequency2Byte0, 26},
    {kFrequency2Byte1, 13},
    {kFrequency2Byte2, 12},
    {kFreqStatus, 22},
    {kCounterResetA, 31},
    {kCounter0High, 23},
    {kCounter1High, 25},
    {kCounter0Low, 22},
    {kCounter1Low, 24},
    {kGate, 24},
    {kGateSelect, 25},
    {kGateData0, 27},
    {kGateData1, 28},
    {kGateData2, 29},
    {kGateData3, 30},
};

// The PCI card: bridge offsets.
constexpr MapEntry kMap27[] = {
    {kDigitalInHigh, 5},   {kDigitalInLow, 4},     {kDigitalOutHigh, 5},   {kDigitalOutLow, 4},
    {kDigitalOutThird, 1}, {kConverter0High, 3},   {kConverter0Low, 2},    {kConverter1High, 11},
    {kConverter1Low, 10},  {kExtraOutput, 1},      {kFrequency1Byte0, 6},  {kFrequency1Byte1, 7},
    {kFrequency1Byte2, 8}, {kFrequency2Byte0, 12}, {kFrequency2Byte1, 13}, {kFrequency2Byte2, 14},
    {kFreqStatus, 16},     {kCounterResetA, 31},   {kCounter0High, 22},    {kCounter1High, 24},
    {kCounter0Low, 21},    {kCounter1Low, 23},
};

// PCL-818 cards sit at 0x300 whatever base found them.
constexpr MapEntry kMap88[] = {
    {kDigitalInHigh, 0x30B}, {kDigitalInLow, 0x303},    {kDigitalOutHigh, 0x30B},
    {kDigitalOutLow, 0x303}, {kConverter0High, 0x301},  {kConverter0Low, 0x300},
    {kExtraOutput, 0x308},   {kConverterStatus, 0x309},
};

constexpr TypeMap kTypeMaps[] = {
    {0x00, true, kEnc3Map}, {0x18, false, kMap18}, {0x21, false, kMap21}, {0x23, false, kMap23},
    {0x24, false, kMap24},  {0x25, false, kMap25}, {0x27, true, kMap27},  {0x88, true, kMap88},
};

int32_t& Register(BoardRegisters& r, int reg) {
    if (reg < kSlotCount) return r.slot[reg];
    if (reg <= kFrequency2Byte2) return r.frequency[reg - kFrequency1Byte0];
    if (reg >= kGateData0 && reg <= kGateData3) return r.gateData[reg - kGateData0];
    switch (reg) {
        case kFreqStatus:
            return r.freqStatus;
        case kCounterResetA:
            return r.counterResetA;
        case kCounterResetB:
            return r.counterResetB;
        case kCounter0High:
        case kCounter1High:
            return r.counterHigh[reg - kCounter0High];
        case kCounter0Low:
        case kCounter1Low:
            return r.counterLow[reg - kCounter0Low];
        case kGate:
            return r.gate;
        case kGateSelect:
            return r.gateSelect;
        default:
            return r.enc3Port[reg - kEnc3Port0];
    }
}

void Apply(BoardRegisters& r, std::span<const MapEntry> entries, int32_t base) {
    for (const MapEntry& e : entries) Register(r, e.reg) = base + e.offset;
}

}  // namespace

BoardRegisters InitialRegisters() {
    BoardRegisters r{};
    r.slot.fill(kNoRegister);
    r.frequency.fill(kNoRegister);
    Apply(r, kInitialLayout, kInitialBase);
    Apply(r, kEnc3Map, 0);
    return r;
}

bool ApplyRegisterMap(BoardRegisters& regs, uint8_t typeCode, int base) {
    for (const TypeMap& map : kTypeMaps) {
        if (map.typeCode != typeCode) continue;
        Apply(regs, map.entries, map.ignoresBase ? 0 : base);
        return true;
    }
    return false;
}

}  // namespace vantor::boards
