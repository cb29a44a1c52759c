#include "boards/BoardProbe.h"

namespace vantor::boards {
namespace {

constexpr BoardType kTypes[] = {
    {0x18, "PCM 8600", 0x8600, 8},  {0x19, "ECM 8601", 0x8601, 16}, {0x21, "PCM 8601", 0x8601, 32},
    {0x22, "PCI 8600", 0x8600, 8},  {0x23, "PCM 8602", 0x8602, 16}, {0x24, "PCM 8603", 0x8603, 8},
    {0x25, "PCM 8605", 0x8605, 16}, {0x27, "PCI 8605", 0x8605, 16},
};
constexpr uint8_t kEcho = 0x55;
constexpr uint8_t kBridgeCardId = 0x27;

// The bridge card is reached only through the bridge library; its byte read
// through the port driver names a card this board cannot drive.
bool Usable(const Board& board, const BoardType& type) {
    return type.idByte != kBridgeCardId || board.BridgeLoaded();
}

}  // namespace

const BoardType kPcl818Type = {0x88, "PCL-818", 0x818, 16};

const BoardType* FindBoardType(uint8_t idByte) {
    for (const BoardType& t : kTypes)
        if (t.idByte == idByte) return &t;
    return nullptr;
}

ProbeResult ProbeBoard(Board& board, std::span<const int> bases) {
    ProbeResult r;
    auto record = [&r](const BoardType& t, int base) {
        r.found = true;
        r.base = base;
        r.typeCode = t.typeCode;
        r.channels = t.channels;
        r.model = t.model;
    };
    for (int base : bases) {
        r.idByte = board.ReadIdByte(base + 1);
        board.Configure(r.idByte, base);
        const BoardType* t = FindBoardType(r.idByte);
        if (t != nullptr && Usable(board, *t)) {
            record(*t, base);
            return r;
        }
    }
    for (int base : bases) {
        board.WriteByte(base + 2, kEcho);
        if (board.ReadByte(base + 2) == kEcho) {
            board.Configure(kPcl818Type.idByte, base);
            record(kPcl818Type, base);
            return r;
        }
    }
    return r;
}

BringUpResult OpenAndProbe(Board& board, std::span<const int> bases, bool enc3, bool forceSim) {
    BringUpResult result;
    if (board.IsOpen() != 0) board.CloseDevice();
    bool opened = board.OpenDevice();
    if (!opened || forceSim) {
        board.CloseDevice();
        result.path = BringUpPath::kSimulation;
        return result;
    }
    if (enc3) {
        board.Configure(0, 0);
        board.ResetCounters();
    }
    result.probe = ProbeBoard(board, bases);
    result.path = result.probe.found ? BringUpPath::kBoard : BringUpPath::kNoBoard;
    return result;
}

DisplayProbeResult DisplayProbe(Board& board, std::span<const int> bases, bool forceSim) {
    DisplayProbeResult result;
    if (!board.OpenDevice() || forceSim) {
        board.CloseDevice();
        result.model = kSimHardwareText;
        result.simBoard = true;
        result.switchToAsync = true;
        return result;
    }
    ProbeResult probe = ProbeBoard(board, bases);
    if (probe.found) {
        result.model = probe.model;
    } else {
        result.model = kNoBoardText;
        result.simBoard = true;
    }
    board.CloseDevice();
    return result;
}

}  // namespace vantor::boards
