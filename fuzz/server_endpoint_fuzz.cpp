// Fuzzes what the server's "Vantor" endpoint does with a message of any code,
// data word and payload (held in a buffer of exactly its size): the first four
// bytes pick the code (below 0x80000000 one the server knows, by its low four
// bits), the next eight the data word, the rest is the payload. The server runs in synchronous mode
// on a pinned AcqCfg.ini, so a mode switch is refused without stopping anything, and the exit and
// refresh requests only count. Each input starts from a client table holding a few names, up to
// full. Invariants: the answer of every code; a registered name is found afterwards unless it is
// refused or the table is full; an unregistered one is gone; the exit and refresh requests reach
// the window exactly when they should; nothing else changes.
#include <sys/stat.h>

#include <unistd.h>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "host/ServerHost.h"
#include "platform/IpcNames.h"
#include "platform/SharedMemoryObject.h"
#include "protocol/BlockLayout.h"
#include "protocol/CopyDataCodes.h"

using namespace vantor;
using vantor::fuzz::Check;

namespace {

constexpr uint32_t kCodes[] = {protocol::kCodeClientRegister, protocol::kCodeClientUnregister,
                               protocol::kCodeModeChanged,    protocol::kCodeDigitalOut,
                               protocol::kCodeDigitalIn,      protocol::kCodeResetCounters,
                               protocol::kCodeAnalog,         protocol::kCodeFrequency,
                               protocol::kCodeCounter,        protocol::kCodeStateBlock,
                               protocol::kCodeAnalogReply,    protocol::kCodeSetMode,
                               protocol::kCodeQueryMode,      protocol::kCodeExitRequest,
                               protocol::kCodeRefreshRequest, 0};

int g_exits = 0;
int g_refreshes = 0;
std::unique_ptr<host::ServerHost> g_host;

void RemoveSharedObjects() {
    g_host.reset();
    platform::SharedMemoryObject::Unlink(platform::ShmName(protocol::kBlockName));
    platform::SharedMemoryObject::Unlink(
        platform::ShmName(std::string(protocol::kBlockName) + "Mutex"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Everything this server makes stays in the scratch directory and under
    // names of this process.
    const std::string& dir = vantor::fuzz::ScratchDir();
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("VANTOR_IPC_NAMESPACE", ("fuzz" + std::to_string(::getpid()) + "-").c_str(), 1);
    const std::string config = vantor::fuzz::ScratchFile("AcqCfg.ini");
    vantor::fuzz::WriteWhole(config, "[HK]\nMODE=2\n");
    ::chmod(config.c_str(), 0444);  // pinned: a mode switch cannot be written

    g_host = std::make_unique<host::ServerHost>();
    std::atexit(RemoveSharedObjects);
    g_host->Engine().SetConfigDir(dir);
    g_host->Engine().StartAsync(false).wait();
    Check(g_host->DisplayMode() == engine::kModeSync, "the server is not in synchronous mode");
    g_host->SetWindowRequests([] { ++g_exits; }, [] { ++g_refreshes; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t code = 0;
    uint64_t word = 0;
    if (!vantor::fuzz::MessageHead(data, size, code, word)) return 0;
    // A picked code's other bits: how many names the table holds before, and
    // whether the server runs on the simulated board.
    const int held = static_cast<int>(code >> 8 & 0xFF) % (engine::kMaxClientNames + 2);
    const int simBoard = static_cast<int>(code >> 16 & 1);
    if (code < 0x80000000u) code = kCodes[code % (sizeof kCodes / sizeof kCodes[0])];
    const std::vector<char> payload(data + 12, data + size);
    const std::string_view bytes(payload.data(), payload.size());
    const platform::CopyDataMessage m{code, word, bytes};

    engine::AcqEngine& engine = g_host->Engine();
    engine.ClearClientNames();
    for (int i = 0; i < held; ++i) engine.AddClientName(("client" + std::to_string(i)).c_str());
    engine.SetSimBoard(simBoard);
    const auto namesBefore = engine.Clients().Names();
    int free = 0;
    for (const std::string& n : namesBefore) free += n.empty() ? 1 : 0;
    const int exits = g_exits;
    const int refreshes = g_refreshes;

    const int64_t answer = g_host->OnCopyData(m);

    const std::string_view cut = bytes.substr(0, protocol::kClientNameBytes - 1);
    const std::string name(cut.substr(0, cut.find('\0')));
    const bool refusedName = name.empty() || name == protocol::kServerTitle;
    bool namesKept = true;
    int64_t expected = 0;
    switch (code) {
        case protocol::kCodeClientRegister:
            namesKept = refusedName;
            if (!refusedName && free > 0) {
                Check(engine.FindClientName(name.c_str()) >= 0, "a registered client is missing");
            }
            break;
        case protocol::kCodeClientUnregister:
            namesKept = refusedName;
            if (!refusedName) {
                Check(engine.FindClientName(name.c_str()) < 0, "an unregistered client is held");
            }
            break;
        case protocol::kCodeSetMode: {
            const uint64_t mode = word > 100 ? 0 : word;
            if (mode == engine::kModeAsync)
                expected = protocol::kModeNotWritten;
            else if (mode == engine::kModeSync) {
                expected =
                    engine.SimBoard() == 1 ? protocol::kModeNeedsBoard : protocol::kModeUnchanged;
            } else {
                expected = protocol::kModeNotAMode;
            }
            break;
        }
        case protocol::kCodeQueryMode:
            expected = engine::kModeSync;
            break;
        case protocol::kCodeExitRequest:
            expected = 1;
            Check(g_host->ExitRequested(), "the exit request was not noted");
            break;
        case protocol::kCodeRefreshRequest:
            expected = 1;
            break;
        default:  // client requests are dropped in synchronous mode; the rest is ignored
            break;
    }
    Check(answer == expected, "the answer is wrong");
    Check(g_exits - exits == (code == protocol::kCodeExitRequest ? 1 : 0),
          "the exit request reached the window wrongly");
    int32_t level = 0;
    if (bytes.size() >= sizeof level) std::memcpy(&level, bytes.data(), sizeof level);
    Check(g_refreshes - refreshes == (code == protocol::kCodeRefreshRequest && level == 1 ? 1 : 0),
          "the refresh request reached the window wrongly");
    if (namesKept) Check(engine.Clients().Names() == namesBefore, "the client table changed");
    Check(g_host->DisplayMode() == engine::kModeSync, "the mode changed");
    return 0;
}
