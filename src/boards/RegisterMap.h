#pragma once
// Where each functional register of a card lies: the register table of a
// Board, its starting layout, and the constant map of each type code that
// Configure lays over it.
#include <array>
#include <cstdint>

namespace vantor::boards {

constexpr int32_t kNoRegister = -1;  // a register this type does not have

// Slots of the register table.
enum RegisterSlot : int {
    kDigitalInHigh = 0,    // lines 8-15
    kDigitalInLow = 1,     // lines 0-7
    kDigitalOutHigh = 2,   // lines 8-15
    kDigitalOutLow = 3,    // lines 0-7
    kDigitalOutThird = 4,  // lines 16-23
    kConverter0High = 5,
    kConverter0Low = 6,  // control / low byte
    kConverter1High = 7,
    kConverter1Low = 8,
    kConverter2High = 9,
    kConverter2Low = 10,
    kConverter3High = 11,
    kConverter3Low = 12,
    kSpare13 = 13,  // no operation uses these two
    kSpare14 = 14,
    kExtraOutput = 15,      // also the PCL-818 status
    kConverterStatus = 16,  // also the PCL-818 control
    kSlotCount = 17,
};
// Converter g's high and control/low slots (g 0..3).
constexpr int ConverterHighSlot(int g) {
    return kConverter0High + 2 * g;
}
constexpr int ConverterLowSlot(int g) {
    return kConverter0Low + 2 * g;
}

struct BoardRegisters {
    std::array<int32_t, kSlotCount> slot;
    std::array<int32_t, 6> frequency;  // frequency 1 bytes 0-2, frequency 2 bytes 0-2
    int32_t freqStatus;                // status / select / counter reset, by type
    int32_t counterResetA;
    int32_t counterResetB;
    std::array<int32_t, 2> counterHigh;
    std::array<int32_t, 2> counterLow;
    int32_t gate;
    int32_t gateSelect;
    std::array<int32_t, 4> gateData;
    std::array<int32_t, 2> enc3Port;  // the separate counter card
    bool operator==(const BoardRegisters&) const = default;
};

// The layout of a type 0x18 card at base 0x320, every board's starting map.
BoardRegisters InitialRegisters();

// Sets the registers that the map of typeCode names, for a card at base (the
// bridge card and the PCL-818 have fixed addresses and ignore it); the other
// registers keep theirs. false, changing nothing, for a type without a map
// (0x19, 0x22 and foreign bytes).
bool ApplyRegisterMap(BoardRegisters& regs, uint8_t typeCode, int base);

}  // namespace vantor::boards
