#pragma once
// The server's acquisition engine: the block image, the merged request, the
// simulated board and the acquisition thread, plus the mode and configuration
// that decide whether and how it samples.
//
// Threads: Start/Stop/SwitchMode/ReadConfig and the client name table run on
// the controlling (GUI or host) thread; the acquisition thread owns the block
// image, the phases and counterRunning while it runs; the negotiation threads
// change the peer table (its own lock) and the merged request (seqlock).
// Everything else shared is atomic or guarded.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "boards/Board.h"
#include "boards/SimulatedBoard.h"
#include "engine/ClientNames.h"
#include "engine/HardwarePass.h"
#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "engine/Protocol.h"
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

class AcqEngine {
public:
    explicit AcqEngine(CSharedMemory& block);
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
    // Called by SwitchMode after it has written the new mode.
    void SetModeChangeNotifier(std::function<void()> notifier) { m_notify = std::move(notifier); }

    // 1 when forced simulation is on; else the configured mode, or 4 when it
    // is not 1..3.
    int EffectiveMode() const;

    // At start-up, before any thread runs: zeroes the shared block, so the
    // outputs and counter holds an earlier run left are not served again.
    // When a reader keeps the mutex for a second, the first acquisition cycle
    // does it instead (false).
    bool ClearSharedBlock();

    // --- threads ------------------------------------------------------------
    // Unless the mode is synchronous without forced simulation: opens the
    // negotiation link, starts the acquisition thread, publishes the image's
    // rings, then starts the negotiation send and receive threads.
    void StartAcquisition();
    // Asks the threads to end and waits for them (each ends within a cycle,
    // the negotiation threads within 10 ms of a wait).
    void StopThreads();
    bool IsAcquisitionRunning() const { return m_acqThread.joinable(); }
    bool IsNegotiationRunning() const { return m_negSnd.joinable(); }
    // Ports StartAcquisition opens the link with (8998, 9898; 0 lets the
    // system choose, for tests). Set only while no thread runs.
    void SetNetPorts(int recvPort, int sendPort) {
        m_netRecvPort = recvPort;
        m_netSendPort = sendPort;
    }

    // --- peers and clients ----------------------------------------------------
    PeerTable& Peers() { return m_peers; }
    // One received request (negotiation receive thread); 0 for null, else 1.
    int HandleRequest(const AcqRequest* request);
    // Rebuilds the merged request from the peers in the table, published in
    // one step: live peers' channels stay, departed peers' channels go.
    void RebuildMergedRequest();
    ClientNames& Clients() { return m_clients; }
    // Sends the mode-change notice to every named client through send.
    int NotifyClients(const ClientNames::Notifier& send) { return m_clients.Notify(send); }
    const std::string& LastError() const { return m_clients.LastError(); }

    // Link counters, for tests and measurements.
    uint64_t PacketsRead() const { return m_packetsRead.load(std::memory_order_relaxed); }
    uint64_t PortsSent() const { return m_portsSent.load(std::memory_order_relaxed); }
    void CountPacketRead() { m_packetsRead.fetch_add(1, std::memory_order_relaxed); }
    void CountPortSent() { m_portsSent.fetch_add(1, std::memory_order_relaxed); }
    platform::Event& NegotiationSendExitEvent() { return m_negSndExit; }
    void MarkNegotiationSendEnded() { m_negSndEnded.store(true); }
    // The board's pass; without one (or with its board closed) every cycle
    // samples the simulated board. Set only while no thread runs.
    void SetHardwarePass(HardwarePass* pass) { m_hardware = pass; }

    // One cycle of the acquisition thread without its sleep; returns the pause
    // (ms) the thread takes before the next cycle.
    int RunCycle();
    // The end of a cycle: the image's inputs, frequencies, rings and counters
    // copied into the shared block under one lock.
    void PublishImage(SharedBlock& shared);

    // --- simulated board (acquisition thread only) ---------------------------
    int SimulateAnalog(int channel, float* buffer, int count);
    float SimulateFrequency(int channelId);
    int32_t SimulateCounterStart(int counterId);
    float SimulateCounterRead(int counterId);
    void SimulateDigitalInputs();

    // The engine's own board. Touched here only while no acquisition thread runs.
    boards::Board& GetBoard() { return m_board; }
    // What the last bring-up found: the identification byte last read, and the
    // type code and analog channel count of the card (0x8600 and 8 until one
    // is found).
    uint8_t IdByte() const { return m_idByte; }
    int TypeCode() const { return m_typeCode; }
    int AnalogChannelCount() const { return m_analogChannels; }
    boards::SimulatedBoard& Sim() { return m_sim; }
    MergedRequest& Merged() { return m_merged; }
    CSharedMemory& Block() { return m_block; }
    // The acquisition thread's private copy of the block: only read it while
    // the thread is stopped.
    SharedBlock& Image() { return *m_image; }
    std::array<int32_t, 4>& CounterRunning() { return m_counterRunning; }
    // Signalled by the acquisition thread when it ends.
    platform::Event& AcquisitionExitEvent() { return m_acqExit; }
    void MarkAcquisitionEnded() { m_acqEnded.store(true); }

private:
    void SimulatedPass(const AcqRequest& request);
    void PublishRings();
    std::string ConfigFile(const char* name) const;

    CSharedMemory& m_block;
    std::unique_ptr<SharedBlock> m_image;
    MergedRequest m_merged;
    boards::Board m_board;
    uint8_t m_idByte = 0;
    int m_typeCode = 0x8600;
    int m_analogChannels = 8;
    boards::SimulatedBoard m_sim;
    std::array<int32_t, 4> m_counterRunning{};
    std::unique_ptr<float[]> m_sampleBuffer;  // kSampleBufferSize values

    std::atomic<int> m_mode{kModeSync};
    std::atomic<int> m_enc3{0};
    std::array<int, 6> m_bases{0x280, 0x2E0, 0x300, 0x310, 0x320, 0x700};
    std::string m_configDir;
    std::function<void()> m_notify;
    HardwarePass* m_hardware = nullptr;

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
};

// The acquisition thread's routine.
void AcquisitionThread(AcqEngine* engine);

}  // namespace vantor::engine
