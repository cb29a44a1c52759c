// What a window (or the headless host) sees of the engine and asks of it:
// the status snapshot, the change notification and the commands that run
// the blocking operations on the engine's command thread.
#include <utility>

#include "engine/AcqEngine.h"
#include "platform/Trace.h"

namespace vantor::engine {
namespace {
constexpr int kStartArgument = 1;
}  // namespace

template <typename R>
std::future<R> AcqEngine::Command(std::function<R()> operation,
                                  std::function<void(const R&)> done) {
    // std::function needs a copyable job: the promise travels by shared_ptr.
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> result = promise->get_future();
    const uint64_t stops = m_stopsAsked.load();
    m_commands->Post(
        [this, stops, promise, operation = std::move(operation), done = std::move(done)] {
            m_commandStops.store(stops);
            R value = operation();
            m_commandStops.store(kNoCommand);
            if (done) done(value);
            promise->set_value(std::move(value));
        });
    return result;
}

std::future<int> AcqEngine::StartAsync(bool switchToAsyncFirst,
                                       std::function<void(int displayMode)> done) {
    std::function<void(const int&)> report;
    if (done) report = [done = std::move(done)](const int& mode) { done(mode); };
    // A card retry posted just before the host stops has nothing left to do.
    return Command<int>(
        [this, switchToAsyncFirst] {
            if (StopAskedDuringCommand()) return m_displayMode.load();
            return BringUp(switchToAsyncFirst);
        },
        std::move(report));
}

std::future<ModeSwitchResult> AcqEngine::SwitchModeAsync(
    int mode, std::function<void(const ModeSwitchResult&)> done) {
    return Command<ModeSwitchResult>([this, mode] { return SwitchAndRestart(mode); },
                                     std::move(done));
}

std::future<void> AcqEngine::StopAsync(std::function<void()> done) {
    // Raised at once, so a cycle or a converter poll under way ends now, not
    // after the commands queued before this one.
    m_stopsAsked.fetch_add(1);
    m_stopRequested.store(1);
    auto promise = std::make_shared<std::promise<void>>();
    std::future<void> result = promise->get_future();
    m_commands->Post([this, promise, done = std::move(done)] {
        StopThreads();
        if (done) done();
        promise->set_value();
    });
    return result;
}

int AcqEngine::BringUp(bool switchToAsyncFirst) {
    if (switchToAsyncFirst) SwitchMode(kModeAsync);
    ReloadConfig(kStartArgument);
    StartAcquisition();
    int display = EffectiveMode();
    if (m_simBoard.load() == 1) {
        display = kModeAsyncVariant;
        if (SwitchMode(kModeAsync) == ModeSwitch::kNotWritten) {
            // The simulated board samples only asynchronously, which is what
            // is shown: without a writable AcqCfg.ini it does so for this run.
            platform::TraceTextAt(platform::TraceLevel::Warning,
                                  "running asynchronously without AcqCfg.ini\n");
            SetMode(kModeAsync);
            StartAcquisition();
        }
    }
    m_displayMode.store(display);
    NotifyChanged();
    return display;
}

ModeSwitchResult AcqEngine::SwitchAndRestart(int mode) {
    ModeSwitchResult result;
    result.change = SwitchMode(mode);
    if (result.change == ModeSwitch::kUnchanged) {
        result.displayMode = m_displayMode.load();
        return result;
    }
    if (result.change == ModeSwitch::kSwitched && mode == kModeSync) {
        m_acquisitionActive.store(0);
        m_acquisitionKind.store(kKindIdle);
    }
    // Restarted either way: after a failed write in the mode the file still gives.
    ReloadConfig(kStartArgument);
    StartAcquisition();
    result.displayMode = EffectiveMode();
    m_displayMode.store(result.displayMode);
    NotifyChanged();
    return result;
}

namespace {
// Set while this thread runs the listener: it may replace the listener
// without waiting for itself.
thread_local bool t_inListener = false;
}  // namespace

void AcqEngine::SetChangeListener(std::function<void()> listener) {
    auto shared =
        listener ? std::make_shared<const std::function<void()>>(std::move(listener)) : nullptr;
    std::unique_lock lock(m_listenerMutex);
    m_listener = std::move(shared);
    // Once this returns, the old listener runs no more (its owner may go).
    if (!t_inListener) m_listenerIdle.wait(lock, [this] { return m_listenerCalls == 0; });
}

void AcqEngine::NotifyChanged() const {
    std::shared_ptr<const std::function<void()>> listener;
    {
        std::lock_guard lock(m_listenerMutex);
        listener = m_listener;
        if (!listener) return;
        ++m_listenerCalls;
    }
    const bool nested = t_inListener;
    t_inListener = true;
    (*listener)();
    t_inListener = nested;
    {
        std::lock_guard lock(m_listenerMutex);
        --m_listenerCalls;
    }
    m_listenerIdle.notify_all();
}

void AcqEngine::SetForceSim(int value) {
    if (m_forceSim.exchange(value) != value) NotifyChanged();
}

void AcqEngine::SetSimDebug(int value) {
    if (m_simDebug.exchange(value) != value) NotifyChanged();
}

void AcqEngine::SetSimBoard(int value) {
    if (m_simBoard.exchange(value) != value) NotifyChanged();
}

void AcqEngine::SetBoardModel(std::string model) {
    {
        std::lock_guard lock(m_textMutex);
        m_boardModel = std::move(model);
    }
    NotifyChanged();
}

std::string AcqEngine::BoardModel() const {
    std::lock_guard lock(m_textMutex);
    return m_boardModel;
}

void AcqEngine::AddClientName(const char* name) {
    m_clients.Add(name);
    NotifyChanged();
}

void AcqEngine::RemoveClientName(const char* name) {
    m_clients.Remove(name);
    NotifyChanged();
}

void AcqEngine::ClearClientNames() {
    m_clients.Clear();
    NotifyChanged();
}

boards::PortLinkState AcqEngine::ReadBoardLink(bool wait) const {
    // A card that could not be opened again is as lost as one whose bus fails.
    if (m_cardMissing.load()) return {true, 0, m_linkLosses.load()};
    std::unique_lock lock(m_boardMutex, std::defer_lock);
    if (wait) {
        lock.lock();
    } else if (!lock.try_lock()) {
        return {m_linkLost.load(), 0, m_linkLosses.load()};
    }
    const boards::PortLinkState link = m_board.PortLink();
    m_linkLost.store(link.lost);
    m_linkLosses.store(link.losses);
    return link;
}

EngineStatus AcqEngine::Status() const {
    EngineStatus s;
    s.mode = Mode();
    s.effectiveMode = EffectiveMode();
    s.displayMode = DisplayMode();
    s.boardModel = BoardModel();
    s.simBoard = SimBoard();
    s.simDebug = SimDebug();
    s.forceSim = ForceSim();
    s.acquisitionActive = AcquisitionActive();
    s.acquisitionKind = AcquisitionKind();
    s.cycles = Cycles();
    const AcqRequest merged = m_merged.Snapshot();
    s.merged = {merged.analogCount, merged.digitalInCount, merged.digitalOutCount,
                merged.frequencyCount, merged.counterCount};
    for (const PeerEntry& entry : m_peers.Entries()) s.peers.push_back(PeerRowOf(entry));
    s.clientNames = m_clients.Names();
    // Never waits for a bring-up that is opening the board.
    const boards::PortLinkState link = ReadBoardLink(false);
    s.boardLinkLost = link.lost;
    s.boardLosses = link.losses;
    return s;
}

}  // namespace vantor::engine
