// vantor-boardsim in its own process, served over a Unix socket to the port
// driver in this one; and the settings language it shares with its command
// line.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "boards/Board.h"
#include "emulation/SimControl.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"

namespace vantor::boards {
namespace {

// The simulator with pipes on its standard input and output.
class BoardSim {
public:
    explicit BoardSim(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(in[1]);
            ::close(out[0]);
            std::string exe = test::ExecutableDir() + "/vantor-boardsim";
            std::vector<char*> argv{exe.data()};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~BoardSim() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::close(m_in);
        ::close(m_out);
    }
    void Send(const std::string& line) {
        std::string l = line + "\n";
        ASSERT_EQ(::write(m_in, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }
    // The next line of output ("" when none comes within 5 s).
    std::string Line() {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[256];
            ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0) return "";
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

TEST(BoardSimProcess, ServesItsCardToThePortDriverAndTakesNewValues) {
    test::TempDir dir;
    const std::string endpoint = dir.File("bus");
    BoardSim sim({"--endpoint", endpoint, "--card", "0x26@0x280", "--card", "0x24@0x2E0",
                  "--analog", "0=1.25", "--din", "8001", "--counter", "1=0x0203"});
    ASSERT_EQ(sim.Line(), "ready " + endpoint);

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
    EXPECT_EQ(sim.Line(), "out 0x2E4 0x08");
    EXPECT_EQ(sim.Line(), "out 0x2E5 0x02");

    sim.Send("analog 0=-2.5");
    EXPECT_EQ(sim.Line(), "ok analog 0=-2.5");
    sim.Send("din nonsense");
    EXPECT_EQ(sim.Line().rfind("error: ", 0), 0u);
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

// Nothing the user gives it is taken blindly: a file at the endpoint stays,
// and values outside what the cards have are refused on the command line
// (exit 2) and on standard input (reported, the program goes on).
TEST(BoardSimProcess, RefusesAFileEndpointAndOutOfRangeValues) {
    test::TempDir dir;
    const std::string file = dir.File("notes.txt");
    test::WriteFile(file, "keep me");
    auto run = [&](std::vector<std::string> args) {
        test::TempDir out;
        test::ChildProcess sim(test::ExecutableDir() + "/vantor-boardsim", args,
                               test::InheritedEnvironment({}, {}), out.Path());
        int status = 0;
        const bool ended = sim.WaitFor(5000, &status);  // a refusal ends at once
        return std::make_pair(ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1, sim.Stderr());
    };
    auto [code, err] = run({"--endpoint", file, "--card", "0x24@0x2E0"});
    EXPECT_NE(code, 0);
    EXPECT_NE(err.find("not a socket"), std::string::npos) << err;
    EXPECT_EQ(test::ReadFile(file), "keep me");

    const std::string bus = dir.File("bus");
    for (const char* bad : {"--counter=4=1", "--freq=5=100", "--freq=1=nan", "--analog=0=inf"}) {
        auto [badCode, badErr] = run({"--endpoint", bus, "--card", "0x24@0x2E0", bad});
        EXPECT_EQ(badCode, 2) << bad;
        EXPECT_NE(badErr.find("vantor-boardsim: "), std::string::npos) << badErr;
    }

    BoardSim sim({"--endpoint", bus, "--card", "0x25@0x300"});
    ASSERT_EQ(sim.Line(), "ready " + bus);
    sim.Send("counter 4=1");
    EXPECT_EQ(sim.Line(), "error: counter must be 0..3 (got 4)");
    sim.Send("analog 0=nan");
    EXPECT_EQ(sim.Line().rfind("error: ", 0), 0u);
    sim.Send("counter 3=7");
    EXPECT_EQ(sim.Line(), "ok counter 3=7");
}

TEST(BoardSimSettings, MalformedLinesAreRefusedAndChangeNothing) {
    emulation::IsaBus bus;
    emulation::Card& card = bus.AddCard(0x18, 0x300);
    std::string why;
    for (const char* bad : {"analog", "analog 0", "analog x=1", "analog 40=1", "analog 0=nan",
                            "analog 0=5.5", "din 1FFFF", "counter 1=-4", "counter 4=1", "freq 0=10",
                            "freq 5=10", "freq 1=-1", "freq 1=inf", "period 5=10", "jump 1=2",
                            "raw 0=0x10000", "raw 0=0x1FFFFFFFF", "busy -2", "busy 0x100000000"}) {
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
