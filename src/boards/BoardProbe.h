#pragma once
// Finding the card: the board type table, the probes over the candidate base
// addresses, and the two sequences that use them (the engine's bring-up and
// the main window's display probe).
#include <cstdint>
#include <span>
#include <string>

#include "boards/Board.h"

namespace vantor::boards {

struct BoardType {
    uint8_t idByte;
    const char* model;
    int typeCode;
    int channels;
};

// The eight identification bytes; nullptr for any other byte.
const BoardType* FindBoardType(uint8_t idByte);
// What the write-read probe finds (no identification byte; configured as 0x88).
extern const BoardType kPcl818Type;

struct ProbeResult {
    bool found = false;
    uint8_t idByte = 0;  // the byte last read by the identification probe
    int base = 0;        // where the card answered
    int typeCode = 0;    // 0x8600 ... 0x818 when found
    int channels = 0;
    std::string model;  // "PCM 8603", "PCL-818", ... when found
};

// On an open board: reads the identification byte at B + 1 of each base in
// order, configuring the board for (byte, B) whatever the byte, and stops at
// the first byte of the table (0x27 only with the bridge loaded). Failing that, writes 0x55 to B +
// 2 of each base and stops at the first that reads it back: a PCL-818, configured as 0x88.
ProbeResult ProbeBoard(Board& board, std::span<const int> bases);

enum class BringUpPath {
    kSimulation,  // no board could be opened, or simulation is forced: board closed
    kBoard,       // a card was found and configured: sample it
    kNoBoard,     // the board opened but nothing answered: it stays open, no sampling
};

struct BringUpResult {
    BringUpPath path = BringUpPath::kSimulation;
    ProbeResult probe;
};

// The board half of starting acquisition: closes the board if open, opens
// it, and either closes it again (open failed or forceSim) or, with the ENC3
// option, configures the separate counter card and resets its counters, then
// probes. The caller starts the acquisition thread for kSimulation and kBoard.
BringUpResult OpenAndProbe(Board& board, std::span<const int> bases, bool enc3, bool forceSim);

constexpr const char* kSimHardwareText = "SIM Hardware";
constexpr const char* kNoBoardText = "SIM1 Hardware";

struct DisplayProbeResult {
    std::string model;      // the board model text the main window shows
    bool simBoard = false;  // the server will run on the simulated board
    // The board could not be opened or simulation is forced: the caller
    // switches to asynchronous mode at once.
    bool switchToAsync = false;
};

// The main window's start-up probe on its own board: "SIM Hardware" when the
// board cannot be opened or simulation is forced, the model of the card
// found, or "SIM1 Hardware" when nothing answers. The board is closed after.
DisplayProbeResult DisplayProbe(Board& board, std::span<const int> bases, bool forceSim);

}  // namespace vantor::boards
