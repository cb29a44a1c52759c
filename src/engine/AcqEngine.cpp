#include "engine/AcqEngine.h"

#include "boards/BoardProbe.h"

#include <cstring>
#include <string_view>

#include "engine/CommandText.h"
#include "engine/Negotiation.h"
#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "platform/Trace.h"
#include "syslib/Korbel.h"

namespace vantor::engine {
namespace {
constexpr unsigned kStopWaitMs = 3000;
constexpr uint32_t kSwitchPauseMs = 200;
constexpr uint32_t kBoardSettleMs = 100;
constexpr uint32_t kBringUpLockMs = 250;
constexpr uint32_t kClearLockMs = 1000;
}  // namespace

bool AcqEngine::ClearSharedBlock() {
    auto* shared = static_cast<SharedBlock*>(m_block.GetData());
    if (shared == nullptr) return false;
    {
        BlockLock lock(m_block, GiveUpAfterMs(kClearLockMs));
        if (lock.Held()) {
            ClearShared(*shared);
            return true;
        }
    }
    // A reader keeps the mutex: the first cycle that gets it clears instead.
    m_clearPending.store(true);
    return false;
}

AcqEngine::AcqEngine(CSharedMemory& block)
    : m_block(block),
      m_image(std::make_unique<SharedBlock>()),
      m_boardPass(m_board),
      m_cycle{*m_image, m_counterRunning, m_stopRequested, m_acquisitionKind},
      m_commands(std::make_unique<CommandThread>()) {
    InitBlockImage(*m_image);
    // A stop ends the board's converter polls at once, not after kReadyPolls.
    m_board.SetStopFlag(&m_stopRequested);
}

AcqEngine::~AcqEngine() {
    // No listener call outlives the engine, and no command may start or stop
    // threads under the stop below; a command posted from now on is dropped.
    SetChangeListener({});
    m_commands->Close();
    if (m_acqThread.joinable() || m_negSnd.joinable() || m_negRcv.joinable()) StopThreads();
}

int AcqEngine::HandleRequest(const AcqRequest* request) {
    const int result = engine::HandleRequest(m_peers, m_merged, request);
    if (request != nullptr) NotifyChanged();  // a peer may have come, gone or changed its lists
    return result;
}

int AcqEngine::AgePeers() {
    const int dropped = m_peers.AgePeers();
    if (dropped > 0) NotifyChanged();
    return dropped;
}

void AcqEngine::RebuildMergedRequest() {
    // Under the merged request's writers' lock: a CONNECT merged meanwhile
    // either is in the table already or is merged after this publish.
    m_merged.Update([this](AcqRequest& merged) {
        merged = m_peers.MergedRequests();
        std::lock_guard lock(m_clientChannelsMutex);
        MergeRequest(merged, m_clientChannels);
    });
}

void AcqEngine::AddClientChannels(const AcqRequest& request) {
    AcqRequest channels{};
    {
        std::lock_guard lock(m_clientChannelsMutex);
        MergeRequest(m_clientChannels, request);
        channels = m_clientChannels;
    }
    m_merged.Update([&channels](AcqRequest& merged) { MergeRequest(merged, channels); });
}

std::string AcqEngine::ConfigFile(const char* name) const {
    return m_configDir + "/" + name;
}

bool AcqEngine::ReadConfig() {
    // A damaged file reads as one without keys; the operator learns why.
    bool modeFileRead = true;
    for (const char* name : {"sysOSTRA.ini", "AcqCfg.ini"}) {
        const std::string problem = platform::ProfileFileProblem(ConfigFile(name));
        if (problem.empty()) continue;
        platform::Trace("%s: %s, not read: defaults\n", ConfigFile(name).c_str(), problem.c_str());
        if (std::string_view(name) == "AcqCfg.ini") modeFileRead = false;
    }
    if (modeFileRead &&
        platform::GetPrivateProfileString("HK", "MODE", "", ConfigFile("AcqCfg.ini")).empty()) {
        platform::Trace("no MODE in %s: staying in mode %d\n", ConfigFile("AcqCfg.ini").c_str(),
                        m_mode.load());
    }
    int enc = platform::GetPrivateProfileInt("ENC3", "IsExist", 0, ConfigFile("sysOSTRA.ini"));
    m_enc3.store(enc == 1 ? 1 : 0);
    int mode =
        platform::GetPrivateProfileInt("HK", "MODE", m_mode.load(), ConfigFile("AcqCfg.ini"));
    if (mode < kModeAsync || mode > kModeAsyncVariant) {
        platform::Trace("MODE %d in %s is not 1-3: staying in mode %d\n", mode,
                        ConfigFile("AcqCfg.ini").c_str(), m_mode.load());
        return false;
    }
    m_mode.store(mode);
    return true;
}

bool AcqEngine::WriteMode(int mode) {
    const char* text = "4";
    if (mode == kModeAsync) text = "1";
    if (mode == kModeSync) text = "2";
    if (mode == kModeAsyncVariant) text = "3";
    return platform::WritePrivateProfileString("HK", "MODE", text, ConfigFile("AcqCfg.ini"));
}

bool AcqEngine::ReloadConfig(int /*startArgument*/) {
    StopThreads();
    return ReadConfig();
}

ModeSwitch AcqEngine::SwitchMode(int mode) {
    if (mode == m_mode.load()) return ModeSwitch::kUnchanged;
    StopThreads();
    if (!WriteMode(mode)) {
        // Nothing changed for the clients, who read their mode from the file.
        platform::TraceAt(platform::TraceLevel::Warning, "cannot write MODE to %s\n",
                          ConfigFile("AcqCfg.ini").c_str());
        return ModeSwitch::kNotWritten;
    }
    platform::SleepMs(kSwitchPauseMs);
    if (m_notify) m_notify();
    return ModeSwitch::kSwitched;
}

void AcqEngine::PublishRings() {
    void* shared = m_block.GetData();
    if (shared == nullptr) return;
    // Bounded: a reader that keeps the mutex must not hold up a mode switch.
    // The acquisition thread publishes the rings on every cycle anyway.
    BlockLock lock(m_block, GiveUpAfterMs(kBringUpLockMs));
    if (!lock.Held()) return;
    std::memcpy(static_cast<SharedBlock*>(shared)->analogRing, m_image->analogRing,
                sizeof m_image->analogRing);
}

void AcqEngine::StartAcquisition() {
    m_stopRequested.store(0);
    if (StopAskedDuringCommand()) {  // the stop was asked for before this reset
        m_stopRequested.store(1);
        return;
    }
    if (m_mode.load() == kModeSync && m_forceSim.load() != 1) {
        m_cardMissing.store(false);  // the clients drive the card themselves
        return;
    }
    if (m_acqThread.joinable() || m_negSnd.joinable()) return;  // callers stop first
    // Its result is not examined: without the link the receive thread idles.
    DMI_OpenNet(0, 0, m_netRecvPort, m_netSendPort);

    // Board or simulation. The board is touched only here, with no thread running.
    boards::BringUpResult up;
    {
        std::lock_guard lock(m_boardMutex);
        up = boards::OpenAndProbe(m_board, m_bases, m_enc3.load() == 1, m_forceSim.load() == 1);
    }
    m_idByte.store(up.probe.idByte);
    if (up.probe.found) {
        m_typeCode.store(up.probe.typeCode);
        m_analogChannels.store(up.probe.channels);
    }
    if (up.path == boards::BringUpPath::kBoard) {
        m_cardFound.store(true);
        if (m_cardMissing.exchange(false))
            platform::TraceTextAt(platform::TraceLevel::Notice, "the card answers again\n");
    } else if (m_forceSim.load() == 1) {
        m_cardMissing.store(false);  // simulation asked for: nothing to miss
    } else if (m_cardFound.load()) {
        // The card found earlier no longer answers (its bus went away during a
        // restart): the simulated board's values would pass for its readings.
        // Nothing is sampled until a retry finds it again.
        if (!m_cardMissing.exchange(true)) {
            platform::TraceTextAt(platform::TraceLevel::Warning,
                                  "the card no longer answers: no sampling until it does\n");
        }
        up.path = boards::BringUpPath::kNoBoard;
    }
    if (up.path == boards::BringUpPath::kBoard) {
        platform::Trace("board %s at 0x%X (type 0x%X, %d analog channels)\n",
                        up.probe.model.c_str(), static_cast<unsigned>(up.probe.base),
                        static_cast<unsigned>(m_typeCode.load()), m_analogChannels.load());
    } else if (up.path == boards::BringUpPath::kNoBoard && !m_cardMissing.load()) {
        platform::TraceTextAt(platform::TraceLevel::Warning,
                              "board opened but no card answered: no sampling\n");
    }

    // The rings are published before the thread starts, so this copy never
    // reads the image while the thread writes it.
    PublishRings();
    if (up.path != boards::BringUpPath::kNoBoard) {
        m_acqExit.Reset();
        m_acqEnded.store(false);
        m_acqThread = std::thread(&AcqEngine::AcquisitionLoop, this);
        m_acqRunning.store(true);
    }
    m_negSndExit.Reset();
    m_negSndEnded.store(false);
    m_negSnd = std::thread(NegSndThread, this);
    m_negRcv = std::thread(NegRcvThread, this);
    m_negRunning.store(true);
    NotifyChanged();
    if (up.path == boards::BringUpPath::kBoard) platform::SleepMs(kBoardSettleMs);
}

void AcqEngine::StopThreads() {
    m_stopRequested.store(1);
    if (m_acqThread.joinable()) {
        // Every wait inside a cycle is bounded, so the thread always ends;
        // it is never killed, and nothing is torn down under it.
        // The ended flag covers an exit event that someone else already took.
        while (!m_acqEnded.load() && !m_acqExit.WaitFor(kStopWaitMs)) {
            platform::TraceTextAt(platform::TraceLevel::Warning,
                                  "acquisition thread still running, waiting\n");
        }
        m_acqThread.join();
        m_acqRunning.store(false);
    }
    m_acquisitionActive.store(0);
    m_acquisitionKind.store(kKindIdle);
    if (m_negSnd.joinable()) {
        // Its pauses are 10 ms steps that watch stopRequested: it always ends.
        while (!m_negSndEnded.load() && !m_negSndExit.WaitFor(kStopWaitMs)) {
            platform::TraceTextAt(platform::TraceLevel::Warning,
                                  "negotiation send thread still running, waiting\n");
        }
        m_negSnd.join();
    }
    platform::TraceText("NegSndHandle Exit\n");
    // The receive thread ends after its current wait of at most 10 ms.
    if (m_negRcv.joinable()) m_negRcv.join();
    m_negRunning.store(false);
    platform::TraceText("NegRcvHandle Exit\n");
    // Every thread has ended: nothing can be inside a board call now.
    {
        std::lock_guard lock(m_boardMutex);
        if (m_board.IsOpen() != 0) m_board.CloseDevice();
    }
    platform::TraceText("HardWare Exit\n");
    NotifyChanged();
}

}  // namespace vantor::engine
