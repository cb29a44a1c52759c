#pragma once
// The server process without its window: the start-up and exit sequences in
// their fixed order. The headless main drives it now; the main window drives
// the same object later.
#include <functional>
#include <memory>
#include <string>

#include "boards/Board.h"
#include "engine/AcqEngine.h"
#include "host/ClientService.h"
#include "platform/CopyDataBus.h"
#include "platform/InstanceLock.h"
#include "protocol/CSharedMemory.h"

namespace vantor::host {

// Start() results other than kRunning are the process's exit code.
constexpr int kRunning = -100;
constexpr int kExitSecondInstance = 1;  // another server holds the lock: silent
constexpr int kExitNoEnvironment = 2;   // GetKorbel gave no configuration directory
constexpr int kExitNoInstanceLock = 3;  // the lock cannot be taken at all (runtime directory)
// The shared data block or its mutex exists but is not safe to use (another
// user's object, or one open to others).
constexpr int kExitUnsafeSharedMemory = 4;
constexpr int kExitNoStopSignals = 5;  // SIGTERM/SIGINT cannot be watched

extern const char* const kDefaultVersionText;  // the text shown when GetVers fails
// What the operator is told when the system library gives no environment.
extern const char* const kGetKorbelFailedText;

class ServerHost {
public:
    // Creates the shared data block (as the main window's constructor does).
    ServerHost();
    ~ServerHost();
    ServerHost(const ServerHost&) = delete;
    ServerHost& operator=(const ServerHost&) = delete;

    // Single instance, system library, version text, settings, display probe,
    // bring-up. kRunning when the server runs, else the exit code to end with.
    int Start();
    // The controlling thread's loop: handles copy-data messages and the
    // periodic work until stopFd (a signalfd) becomes readable or the exit
    // request arrives. The stop signal's number, or 0 for the exit request.
    int RunUntil(int stopFd);
    // The periodic work at time nowMs: the merged request is rebuilt from the
    // peers every 5 s; every second a changed peer list is traced and the
    // status file is rewritten when the board's link was lost or came back.
    void Tick(uint64_t nowMs);
    // Exit sequence: clear the client names, stop the threads, close the
    // network, unload the system library. Safe to call twice.
    void Shutdown();
    // What the "Vantor" endpoint does with a message: 1064 registers the
    // client named in the payload, 1054 unregisters it; the answer is 0.
    // Our own 2001 switches the mode and 2002 reports it (engine/ServerStatus.h).
    // Client requests (1134 ... 1214) go to the ClientService.
    int64_t OnCopyData(const platform::CopyDataMessage& message);
    // The mode buttons: 1 asynchronous, 2 synchronous. Answers as kCodeSetMode.
    long RequestMode(int mode);
    // What a window does with the exit and refresh requests (kCodeExitRequest,
    // kCodeRefreshRequest). Both are called from inside the endpoint's pump:
    // the exit sequence must not run there, only be scheduled.
    void SetWindowRequests(std::function<void()> exit, std::function<void()> refresh);
    // The exit request has arrived.
    bool ExitRequested() const { return m_exitRequested; }

    const std::string& VersionText() const { return m_versionText; }
    const std::string& BoardModel() const { return m_boardModel; }
    const std::string& ConfigDir() const { return m_configDir; }
    // The mode shown to the operator (1 or 3 asynchronous, 2 synchronous).
    int DisplayMode() const { return m_engine->DisplayMode(); }
    engine::AcqEngine& Engine() { return *m_engine; }
    protocol::CSharedMemory& Block() { return m_block; }
    // The "Vantor" copy-data endpoint (null when it could not be opened).
    platform::CopyDataEndpoint* Endpoint() { return m_endpoint.get(); }

private:
    // The display probe: board model text and simulated board handed to the
    // engine; true when the server switches to asynchronous mode at once.
    bool DisplayProbe();
    void PublishStatus();
    // Queues the 1124 notice for one client, waiting for room in its queue
    // until deadlineMs at most; false when no such client endpoint exists.
    static bool SendModeNotice(const char* title, uint64_t deadlineMs);

    protocol::CSharedMemory m_block;
    std::unique_ptr<engine::AcqEngine> m_engine;
    // Answers client programs; goes before the engine it reads.
    std::unique_ptr<ClientService> m_clientService;
    // The display probe's own board, apart from the engine's.
    boards::Board m_probeBoard;
    platform::InstanceLock m_instance;
    std::string m_versionText;
    std::string m_boardModel;
    std::string m_configDir;
    bool m_started = false;
    std::unique_ptr<platform::CopyDataEndpoint> m_endpoint;
    uint64_t m_nextRebuildMs = 0;
    uint64_t m_nextListMs = 0;
    uint64_t m_nextCardRetryMs = 0;
    std::string m_peerList;       // as last traced
    std::string m_serviceStatus;  // as last told to the service manager
    bool m_exitRequested = false;
    std::function<void()> m_onExitRequest;
    std::function<void()> m_onRefreshRequest;
};

// Applies $VANTOR_PEER_CLOCK_SCALE (2..1000) to the peers' ageing clock.
void ApplyPeerClockScale(engine::PeerTable& peers);

// Mode as words for trace lines and tools.
const char* ModeName(int mode);

}  // namespace vantor::host
