#pragma once
// A Board opened through the port driver on an emulated bus of this process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "boards/Board.h"
#include "boards/PortBackends.h"
#include "emulation/IsaBus.h"

namespace vantor::test {

class EmulatedBoard : public ::testing::Test {
protected:
    void SetUp() override {
        boards::RegisterEmulatedBus(m_name, &bus);
        board.SetPortDevice("emu:" + m_name);
    }
    void TearDown() override {
        board.CloseDevice();
        boards::UnregisterEmulatedBus(m_name);
    }
    // Opens the board and configures it for a card added at base.
    emulation::Card& Card(uint8_t type, int base) {
        emulation::Card& card = bus.AddCard(type, base);
        EXPECT_TRUE(board.OpenDevice());
        board.Configure(type, base);
        bus.ClearLog();
        return card;
    }

    emulation::IsaBus bus;
    boards::Board board;

private:
    std::string m_name = "bus" + std::to_string(::getpid());
};

}  // namespace vantor::test
