// The acquisition thread: read requests from the block, sample, publish.
#include <cstring>
#include <exception>

#include "crash/CrashReport.h"
#include "engine/AcqEngine.h"
#include "platform/Trace.h"

namespace vantor::engine {
namespace {

constexpr int kSyncIdleMs = 500;
constexpr int kUnmappedRetryMs = 100;
constexpr int kFaultRetryMs = 100;
constexpr int kCycleSleepMs = 1;

}  // namespace

int AcqEngine::EffectiveMode() const {
    if (m_forceSim.load() == 1) return kModeAsync;
    int mode = m_mode.load();
    return (mode >= kModeAsync && mode <= kModeAsyncVariant) ? mode : kModeInvalid;
}

int AcqEngine::RunCycle() {
    // A listener hears of the lamp's changes only, never of every cycle.
    if (EffectiveMode() == kModeSync) {
        const bool wasKind = m_acquisitionKind.exchange(kKindIdle) != kKindIdle;
        const bool wasActive = m_acquisitionActive.exchange(0) != 0;
        if (wasKind || wasActive) NotifyChanged();
        return kSyncIdleMs;
    }
    if (m_acquisitionActive.exchange(1) != 1) NotifyChanged();
    auto* shared = static_cast<SharedBlock*>(m_block.GetData());
    if (shared == nullptr) return kUnmappedRetryMs;

    SharedBlock& image = *m_image;
    const auto stopping = [this] { return StopRequested(); };
    {
        BlockLock lock(m_block, stopping);
        if (!lock.Held()) return kUnmappedRetryMs;  // stopping, or the mutex is broken
        if (m_clearPending.exchange(false)) ClearShared(*shared);
        image.firstRingOffset = kFirstRingOffset;
        std::memcpy(image.digitalOutRequest, shared->digitalOutRequest,
                    sizeof image.digitalOutRequest);
        std::memcpy(image.counterHold, shared->counterHold, sizeof image.counterHold);
    }

    const AcqRequest request = m_merged.Snapshot();
    const int kindBefore = m_acquisitionKind.load(std::memory_order_relaxed);
    if (m_board.IsOpen() != 0 && m_simDebug.load() != 1) {
        // The pass reports hardware sampling itself, per channel it reads.
        m_boardPass.Run(request, m_cycle);
    } else {
        m_simPass.Run(request, m_cycle);
    }
    if (m_acquisitionKind.load(std::memory_order_relaxed) != kindBefore) NotifyChanged();

    PublishImage(*shared);
    for (int i = 0; i < kDigitalLines; ++i) {
        m_lastOutRequest[static_cast<size_t>(i)].store(image.digitalOutRequest[i],
                                                       std::memory_order_relaxed);
        m_lastIn[static_cast<size_t>(i)].store(image.digitalIn[i], std::memory_order_relaxed);
    }
    // One writer (the cycle): no read-modify-write needed.
    m_cycles.store(m_cycles.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return kCycleSleepMs;
}

AcqEngine::DigitalLevels AcqEngine::LastDigital() const {
    DigitalLevels levels;
    for (size_t i = 0; i < levels.in.size(); ++i) {
        levels.outRequest[i] = m_lastOutRequest[i].load(std::memory_order_relaxed);
        levels.in[i] = m_lastIn[i].load(std::memory_order_relaxed);
    }
    return levels;
}

void AcqEngine::PublishImage(SharedBlock& shared) {
    const SharedBlock& image = *m_image;
    // A cycle that cannot get the lock before a stop skips its publish.
    BlockLock lock(m_block, [this] { return StopRequested(); });
    if (!lock.Held()) return;
    std::memcpy(shared.digitalIn, image.digitalIn, sizeof image.digitalIn);
    std::memcpy(shared.frequencySlot, image.frequencySlot, sizeof image.frequencySlot);
    std::memcpy(shared.analogRing, image.analogRing, sizeof image.analogRing);
    std::memcpy(shared.counterValue, image.counterValue, sizeof image.counterValue);
}

void AcqEngine::AcquisitionLoop() {
    CCrashReport::PrepareThread();  // a fault here, even a stack overflow, is reported
    for (;;) {
        if (StopRequested()) {
            m_acqEnded.store(true);
            m_acqExit.Set();
            return;
        }
        int pause = kFaultRetryMs;
        try {
            pause = RunCycle();
        } catch (const std::exception& e) {
            // The lock guards have released the block; try again shortly.
            platform::TraceAt(platform::TraceLevel::Error, "acquisition cycle failed: %s\n",
                              e.what());
        } catch (...) {
            platform::TraceTextAt(platform::TraceLevel::Error, "acquisition cycle failed\n");
        }
        PauseUnlessStopped(pause);
    }
}

}  // namespace vantor::engine
