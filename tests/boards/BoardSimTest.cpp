// vantor-boardsim in its own process, serving the port driver in this one,
// and the settings language of its command line and standard input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "boards/Board.h"
#include "emulation/SimControl.h"
#include "platform/UniqueFd.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace vantor::boards {
namespace {

// vantor-boardsim reading its settings from a FIFO that the test writes.
class BoardSim {
public:
    BoardSim(const test::TempDir& dir, const std::string& args) : m_fifo(dir.File("settings")) {
        EXPECT_EQ(::mkfifo(m_fifo.c_str(), 0600), 0);
        m_in.Reset(::open(m_fifo.c_str(), O_RDWR | O_CLOEXEC));  // never blocks
        m_sim.emplace("/bin/sh",
                      std::vector<std::string>{"-c", "exec \"$0\" " + args + " < " + m_fifo,
                                               test::ExecutableDir() + "/vantor-boardsim"});
    }
    void Send(const std::string& line) {
        const std::string l = line + "\n";
        ASSERT_EQ(::write(m_in.Get(), l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }
    // Whether text comes on standard output after what the last call found.
    bool Says(const std::string& text) {
        if (!m_sim->WaitForText(text, false, test::kPatienceMs, m_mark)) return false;
        m_mark = m_sim->Stdout().find(text, m_mark) + text.size();
        return true;
    }
    std::string Stdout() const { return m_sim->Stdout(); }

private:
    std::string m_fifo;
    platform::UniqueFd m_in;
    std::optional<test::ChildProcess> m_sim;
    size_t m_mark = 0;
};

TEST(BoardSimProcess, ServesItsCardToThePortDriverAndTakesNewValues) {
    test::TempDir dir;
    const std::string endpoint = dir.File("bus");
    BoardSim sim(dir, "--endpoint " + endpoint +
                          " --card 0x26@0x280 --card 0x24@0x2E0 --analog 0=1.25 --din 8001"
                          " --counter 1=0x0203");
    ASSERT_TRUE(sim.Says("ready " + endpoint)) << sim.Stdout();

    Board board;
    board.SetPortDevice("unix:" + endpoint);
    ASSERT_TRUE(board.OpenDevice());
    EXPECT_EQ(board.ReadIdByte(0x281), 0x26);
    EXPECT_EQ(board.ReadIdByte(0x2E1), 0x24);
    board.Configure(0x24, 0x2E0);
    float v[2] = {};
    ASSERT_EQ(board.ReadAnalog(0, v, 2, 0), 0);
    EXPECT_NEAR(v[1], 1.25F, 10.0F / 4096.0F);
    EXPECT_EQ(board.ReadDigitalInput(15), 1);
    EXPECT_EQ(board.ReadDigitalInput(1), 0);
    EXPECT_EQ(board.ReadCounter(1), 0x0203);

    board.WriteDigitalOutput(3, 1);
    board.WriteDigitalOutput(9, 1);
    EXPECT_TRUE(sim.Says("out 0x2E4 0x08\nout 0x2E5 0x02\n")) << sim.Stdout();

    sim.Send("analog 0=-2.5");
    EXPECT_TRUE(sim.Says("ok analog 0=-2.5\n")) << sim.Stdout();
    sim.Send("counter 4=1");  // reported, and the program goes on
    EXPECT_TRUE(sim.Says("error: counter must be 0..3 (got 4)\n")) << sim.Stdout();
    board.ReadAnalog(0, v, 1, 0);
    EXPECT_NEAR(v[0], -2.5F, 10.0F / 4096.0F);

    // A second open is refused while this board holds the card.
    Board other;
    other.SetPortDevice("unix:" + endpoint);
    EXPECT_FALSE(other.OpenDevice());
    EXPECT_EQ(PortDriverError(), "Failed locking device.\n");
    board.CloseDevice();
    EXPECT_TRUE(other.OpenDevice());
    other.CloseDevice();
}

// A file at the endpoint stays, and values outside what the cards have end
// the program with code 2.
TEST(BoardSimProcess, RefusesAFileEndpointAndOutOfRangeValues) {
    test::TempDir dir;
    const std::string file = dir.File("notes.txt");
    test::WriteFile(file, "keep me");
    auto run = [&](const std::vector<std::string>& args) {
        test::ChildProcess sim("vantor-boardsim", args);
        const int code = sim.ExitCode(5000);  // a refusal ends at once
        return std::make_pair(code, sim.Stderr());
    };
    auto [code, err] = run({"--endpoint", file, "--card", "0x24@0x2E0"});
    EXPECT_NE(code, 0);
    EXPECT_NE(err.find("not a socket"), std::string::npos) << err;
    EXPECT_EQ(test::ReadFile(file), "keep me");

    const std::string bus = dir.File("bus");
    for (const char* bad : {"--counter=4=1", "--analog=0=inf"}) {
        auto [badCode, badErr] = run({"--endpoint", bus, "--card", "0x24@0x2E0", bad});
        EXPECT_EQ(badCode, 2) << bad;
        EXPECT_NE(badErr.find("vantor-boardsim: "), std::string::npos) << badErr;
    }
}

TEST(BoardSimSettings, MalformedLinesAreRefusedAndChangeNothing) {
    emulation::IsaBus bus;
    emulation::Card& card = bus.AddCard(0x18, 0x300);
    std::string why;
    for (const char* bad :
         {"analog",        "analog 0",          "analog x=1",  "analog 40=1",
          "analog 0=nan",  "analog 0=5.5",      "din 1FFFF",   "counter 1=-4",
          "counter 4=1",   "freq 0=10",         "freq 5=10",   "freq 1=-1",
          "freq 1=inf",    "freq 1=nan",        "period 5=10", "jump 1=2",
          "raw 0=0x10000", "raw 0=0x1FFFFFFFF", "busy -2",     "busy 0x100000000"}) {
        EXPECT_FALSE(emulation::ApplySetting(bus, bad, why)) << bad;
        EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(card.Raw(0), 0);  // untouched
    EXPECT_TRUE(emulation::ApplySetting(bus, "raw 3=0x7FF", why));
    EXPECT_EQ(card.Raw(3), 0x7FF);
    EXPECT_TRUE(emulation::ApplySetting(bus, "  counter 2=9 \r", why));
    EXPECT_EQ(card.Counter(2), 9u);

    uint8_t type = 0;
    int base = 0;
    EXPECT_TRUE(emulation::ParseCardOption("0x24@0x2E0", type, base));
    EXPECT_EQ(type, 0x24);
    EXPECT_EQ(base, 0x2E0);
    EXPECT_FALSE(emulation::ParseCardOption("0x24", type, base));
    EXPECT_FALSE(emulation::ParseCardOption("0x124@0x2E0", type, base));
}

}  // namespace
}  // namespace vantor::boards
