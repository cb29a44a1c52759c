#pragma once
// The server's acquisition engine: the block image, the merged request, the
// board and the simulated board with their passes, the acquisition thread
// and the negotiation threads, the mode and configuration that decide
// whether and how it samples, and a status of all of it for a window.
//
// Threads: the blocking operations (StartAcquisition, StopThreads,
// SwitchMode and the sequences built on them) run on the engine's command
// thread when asked for through the *Async commands. Called directly they
// run on the caller's thread, which must then be the only one driving the
// engine (tests, benchmarks). The acquisition thread owns the block image,
// the phases and counterRunning while it runs; the negotiation threads
// change the peer table (its own lock) and the merged request (seqlock).
// Status() and the flags may be read from any thread; everything else
// shared is atomic or guarded.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "boards/Board.h"
#include "boards/SimulatedBoard.h"
#include "engine/AcquisitionPass.h"
#include "engine/BoardPass.h"
#include "engine/ClientNames.h"
#include "engine/CommandThread.h"
#include "engine/EngineStatus.h"
#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "engine/Protocol.h"
#include "engine/SimulatedPass.h"
#include "engine/Stop.h"
#include "platform/Event.h"

namespace vantor::engine {

constexpr int kModeAsync = 1;
constexpr int kModeSync = 2;
constexpr int kModeAsyncVariant = 3;
constexpr int kModeInvalid = 4;

// What SwitchMode did.
enum class ModeSwitch {
    kUnchanged,   // already in that mode: nothing happened
    kSwitched,    // threads stopped, the new mode written, clients notified
    kNotWritten,  // threads stopped, AcqCfg.ini could not be written: the mode stays
};

// What a mode switch through the command thread did, and the mode shown after it.
struct ModeSwitchResult {
    ModeSwitch change = ModeSwitch::kUnchanged;
    int displayMode = 0;
};

class AcqEngine {
public:
    explicit AcqEngine(CSharedMemory& block);
    // Lets the queued commands finish, then stops the threads.
    ~AcqEngine();
    AcqEngine(const AcqEngine&) = delete;
    AcqEngine& operator=(const AcqEngine&) = delete;

    // --- configuration -----------------------------------------------------
    void SetConfigDir(const std::string& dir) { m_configDir = dir; }
    const std::string& ConfigDir() const { return m_configDir; }
    int Mode() const { return m_mode.load(); }
    int Enc3() const { return m_enc3.load(); }
    const std::array<int, 6>& CandidateBases() const { return m_bases; }

    // ENC3 option from sysOSTRA.ini, then MODE from AcqCfg.ini (the current
    // mode as default). A MODE of 1..3 is taken (true); anything else leaves
    // the mode as it was (false).
    bool ReadConfig();
    // MODE in AcqCfg.ini: "1", "2", "3", or "4" for any other mode.
    bool WriteMode(int mode);
    // StopThreads, then ReadConfig.
    bool ReloadConfig(int startArgument);
    // kUnchanged at once for the current mode; else StopThreads and WriteMode,
    // then a 200 ms pause and the mode-change notice (kSwitched), or, when the
    // file cannot be written, no notice (kNotWritten). Unless kUnchanged the
    // caller follows it with ReloadConfig and StartAcquisition.
    ModeSwitch SwitchMode(int mode);
    // Takes a mode for this run without AcqCfg.ini, for when the file cannot
    // hold it; the next ReadConfig of a readable file replaces it. Only
    // while no thread runs.
    void SetMode(int mode) { m_mode.store(mode); }
    // Called by SwitchMode after it has written the new mode. Set before the
    // first command.
    void SetModeChangeNotifier(std::function<void()> notifier) { m_notify = std::move(notifier); }

    // 1 when forced simulation is on; else the configured mode, or 4 when it
    // is not 1..3.
    int EffectiveMode() const;

    // At start-up, before any thread runs: zeroes the shared block, so the
    // outputs and counter holds an earlier run left are not served again.
    // When a reader keeps the mutex for a second, the first acquisition cycle
    // does it instead (false).
    bool ClearSharedBlock();

    // --- operator switches and what the window shows -------------------------
    // g_bForceSim of the operator switches: the host hands it over after
    // reading AcqSet.cfg and whenever it changes. Only 1 forces simulation.
    void SetForceSim(int value);
    int ForceSim() const { return m_forceSim.load(); }
    // g_bSimDebug, the debug dialog's switch: 1 samples the simulated board
    // while a board is open.
    void SetSimDebug(int value);
    int SimDebug() const { return m_simDebug.load(); }
    // g_bSimBoard: 1 when start-up found no board and the server runs on the
    // simulated board.
    void SetSimBoard(int value);
    int SimBoard() const { return m_simBoard.load(); }
    // The board model text the window shows (the host's display probe finds it).
    void SetBoardModel(std::string model);
    std::string BoardModel() const;
    // The mode the window shows: set by StartAsync and SwitchModeAsync.
    int DisplayMode() const { return m_displayMode.load(); }
    // acquisitionActive: 1 while the acquisition thread samples, 0 while it
    // idles in synchronous mode or none runs.
    int AcquisitionActive() const { return m_acquisitionActive.load(); }
    // acquisitionKind: kKindIdle, kKindSimulated or kKindHardware.
    int AcquisitionKind() const { return m_acquisitionKind.load(); }
    // Cycles sampled and published since construction.
    uint64_t Cycles() const { return m_cycles.load(std::memory_order_relaxed); }
    // The digital lines of the last cycle's block image: the output requests
    // it took and the inputs it read. A window polls them without the block's
    // mutex; a line may be one cycle old.
    struct DigitalLevels {
        std::array<int32_t, kDigitalLines> outRequest{};
        std::array<int32_t, kDigitalLines> in{};
    };
    DigitalLevels LastDigital() const;

    // --- observing -----------------------------------------------------------
    // Safe from any thread. Takes the peer table's and the client names'
    // locks; never the block's, never the acquisition thread's time.
    EngineStatus Status() const;
    // Called after the peer table, the mode, the acquisition state, the
    // client names or the operator values changed, on whichever thread made
    // the change: on any thread. A GUI forwards it to its own thread. It
    // must not block, nor wait for a command of this engine.
    void SetChangeListener(std::function<void()> listener);

    // --- commands ------------------------------------------------------------
    // Each runs on the engine's command thread, after the commands asked for
    // before it; done (if given) runs there when it has finished, before the
    // future is ready. Never wait for a future inside done.
    //
    // The start-up sequence: SwitchMode(1) first when switchToAsyncFirst (the
    // display probe found no board to open), ReloadConfig, StartAcquisition;
    // on the simulated board the mode shown is 3 and the mode becomes 1.
    // Gives the mode shown. A start (or a mode switch's restart) under way or
    // queued when StopAsync is called starts nothing; the start then gives
    // the mode shown before it. Starts and stops are asked for from one thread.
    std::future<int> StartAsync(bool switchToAsyncFirst = false,
                                std::function<void(int displayMode)> done = {});
    // The mode buttons: SwitchMode, then (unless unchanged) ReloadConfig and
    // StartAcquisition; a switch to 2 shows the lamp idle.
    std::future<ModeSwitchResult> SwitchModeAsync(
        int mode, std::function<void(const ModeSwitchResult&)> done = {});
    // StopThreads.
    std::future<void> StopAsync(std::function<void()> done = {});

    // --- threads (directly: on the caller's thread) --------------------------
    // Unless the mode is synchronous without forced simulation: opens the
    // negotiation link, starts the acquisition thread, publishes the image's
    // rings, then starts the negotiation send and receive threads.
    void StartAcquisition();
    // Asks the threads to end and waits for them (each ends within a cycle,
    // the negotiation threads within 10 ms of a wait).
    void StopThreads();
    bool IsAcquisitionRunning() const { return m_acqRunning.load(); }
    bool IsNegotiationRunning() const { return m_negRunning.load(); }
    // Ports StartAcquisition opens the link with (8998, 9898; 0 lets the
    // system choose, for tests). Set only while no thread runs.
    void SetNetPorts(int recvPort, int sendPort) {
        m_netRecvPort = recvPort;
        m_netSendPort = sendPort;
    }
    // stopRequested: true from StopThreads (or SetStopRequested) until the
    // next StartAcquisition. This engine's threads only watch this engine's.
    bool StopRequested() const { return Stopping(m_stopRequested); }
    // Asks this engine's threads to end, without waiting for them.
    void SetStopRequested() { m_stopRequested.store(1); }
    // A pause of this engine's worker threads that a stop ends early.
    void PauseUnlessStopped(int ms) const { engine::PauseUnlessStopped(m_stopRequested, ms); }
    // Signalled by the acquisition thread when it ends.
    platform::Event& AcquisitionExitEvent() { return m_acqExit; }

    // --- peers and clients ----------------------------------------------------
    PeerTable& Peers() { return m_peers; }
    // One received request (negotiation receive thread); 0 for null, else 1.
    int HandleRequest(const AcqRequest* request);
    // One ageing pass over the peers; how many it dropped.
    int AgePeers();
    // Rebuilds the merged request from the peers in the table, published in
    // one step: live peers' channels stay, departed peers' channels go.
    void RebuildMergedRequest();
    // Channels client programs asked for: merged now and again after every
    // rebuild, for as long as the process runs.
    void AddClientChannels(const AcqRequest& request);
    // The client name table; changes through the engine are reported.
    ClientNames& Clients() { return m_clients; }
    void AddClientName(const char* name);
    void RemoveClientName(const char* name);
    void ClearClientNames();
    int FindClientName(const char* name) const { return m_clients.Find(name); }
    // Sends the mode-change notice to every named client through send.
    int NotifyClients(const ClientNames::Notifier& send) { return m_clients.Notify(send); }
    std::string LastError() const { return m_clients.LastError(); }

    // Link counters, for tests and measurements.
    uint64_t PacketsRead() const { return m_packetsRead.load(std::memory_order_relaxed); }
    uint64_t PortsSent() const { return m_portsSent.load(std::memory_order_relaxed); }

    // --- the acquisition cycle --------------------------------------------------
    // One cycle of the acquisition thread without its sleep; returns the pause
    // (ms) the thread takes before the next cycle. The board's pass while the
    // board is open and g_bSimDebug is not 1, else the simulated pass.
    int RunCycle();
    // The end of a cycle: the image's inputs, frequencies, rings and counters
    // copied into the shared block under one lock.
    void PublishImage(SharedBlock& shared);

    // The engine's own board: its converter polls end on this engine's stop.
    // Set it up (a port device) or inspect it only while no thread runs.
    boards::Board& GetBoard() { return m_board; }
    // How the board's link fares (lost while the card does not answer). May
    // wait while a start or stop opens or closes the board.
    boards::PortLinkState BoardLink() const { return ReadBoardLink(true); }
    // A card was found by an earlier start but not by the last one: nothing
    // is sampled; the controlling thread retries with StartAsync.
    bool CardMissing() const { return m_cardMissing.load(); }
    // What the last bring-up found: the identification byte last read, and the
    // type code and analog channel count of the card (0x8600 and 8 until one
    // is found).
    uint8_t IdByte() const { return m_idByte.load(); }
    int TypeCode() const { return m_typeCode.load(); }
    int AnalogChannelCount() const { return m_analogChannels.load(); }
    // The simulated board's parameters (the debug dialog's).
    boards::SimulatedBoard& Sim() { return m_simPass.Board(); }
    MergedRequest& Merged() { return m_merged; }
    CSharedMemory& Block() { return m_block; }

private:
    friend int NegRcvThread(AcqEngine* engine);
    friend int NegSndThread(AcqEngine* engine);

    void AcquisitionLoop();
    void PublishRings();
    std::string ConfigFile(const char* name) const;
    void NotifyChanged() const;
    // The link state; without wait, the last one read while the board is
    // being opened or closed.
    boards::PortLinkState ReadBoardLink(bool wait) const;
    // The sequences of the commands, on the command thread.
    int BringUp(bool switchToAsyncFirst);
    ModeSwitchResult SwitchAndRestart(int mode);
    template <typename R>
    std::future<R> Command(std::function<R()> operation, std::function<void(const R&)> done);

    CSharedMemory& m_block;
    std::unique_ptr<SharedBlock> m_image;
    MergedRequest m_merged;
    std::mutex m_clientChannelsMutex;  // guards m_clientChannels
    AcqRequest m_clientChannels = EmptyRequest();
    boards::Board m_board;
    mutable std::mutex m_boardMutex;  // held while the board opens or closes
    mutable std::atomic<bool> m_linkLost{false};
    std::atomic<bool> m_cardFound{false};
    // Whether the threads run, for any thread to ask (the std::thread objects
    // belong to the command thread).
    std::atomic<bool> m_acqRunning{false};
    std::atomic<bool> m_negRunning{false};
    std::atomic<bool> m_cardMissing{false};
    mutable std::atomic<uint64_t> m_linkLosses{0};
    std::atomic<uint8_t> m_idByte{0};
    std::atomic<int> m_typeCode{0x8600};
    std::atomic<int> m_analogChannels{8};
    std::array<int32_t, kCounters> m_counterRunning{};
    SimulatedPass m_simPass;
    BoardPass m_boardPass;

    StopFlag m_stopRequested{0};
    // Counts StopAsync calls. A command remembers the count it was posted
    // at: once a stop has been asked for since, it starts nothing, so it
    // cannot take back the stop raised at once.
    static constexpr uint64_t kNoCommand = UINT64_MAX;
    std::atomic<uint64_t> m_stopsAsked{0};
    std::atomic<uint64_t> m_commandStops{kNoCommand};  // of the command running
    bool StopAskedDuringCommand() const {
        const uint64_t at = m_commandStops.load();
        return at != kNoCommand && m_stopsAsked.load() != at;
    }
    std::atomic<int> m_acquisitionActive{0};
    std::atomic<int> m_acquisitionKind{kKindIdle};
    std::atomic<uint64_t> m_cycles{0};  // written by the cycle only
    std::array<std::atomic<int32_t>, kDigitalLines> m_lastOutRequest{};
    std::array<std::atomic<int32_t>, kDigitalLines> m_lastIn{};
    CycleState m_cycle;

    std::atomic<int> m_mode{kModeSync};
    std::atomic<int> m_enc3{0};
    std::atomic<int> m_forceSim{0};
    std::atomic<int> m_simDebug{0};
    std::atomic<int> m_simBoard{0};
    std::atomic<int> m_displayMode{0};
    std::array<int, 6> m_bases{0x280, 0x2E0, 0x300, 0x310, 0x320, 0x700};
    std::string m_configDir;
    std::function<void()> m_notify;
    mutable std::mutex m_textMutex;  // guards m_boardModel
    std::string m_boardModel;
    mutable std::mutex m_listenerMutex;  // guards m_listener and m_listenerCalls
    std::shared_ptr<const std::function<void()>> m_listener;
    mutable int m_listenerCalls = 0;  // listener calls under way
    mutable std::condition_variable m_listenerIdle;

    std::thread m_acqThread;
    platform::Event m_acqExit;
    std::atomic<bool> m_acqEnded{false};  // set by the thread as it ends
    std::atomic<bool> m_clearPending{false};

    PeerTable m_peers;
    ClientNames m_clients;
    int m_netRecvPort = 8998;
    int m_netSendPort = 9898;
    std::thread m_negSnd;
    std::thread m_negRcv;
    platform::Event m_negSndExit;
    std::atomic<bool> m_negSndEnded{false};
    std::atomic<uint64_t> m_packetsRead{0};
    std::atomic<uint64_t> m_portsSent{0};

    // Last: it ends (running what is queued) before anything it uses goes.
    std::unique_ptr<CommandThread> m_commands;
};

}  // namespace vantor::engine
