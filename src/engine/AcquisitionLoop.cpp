// The acquisition thread: read requests from the block, sample, publish.
#include <cstring>
#include <exception>

#include "crash/CrashReport.h"
#include "engine/AcqEngine.h"
#include "engine/Globals.h"
#include "host/config/Settings.h"
#include "platform/Trace.h"

namespace vantor::engine {
namespace {

constexpr int kSyncIdleMs = 500;
constexpr int kUnmappedRetryMs = 100;
constexpr int kFaultRetryMs = 100;
constexpr int kCycleSleepMs = 1;

bool StopRequested() {
    return stopRequested.load() == 1;
}

}  // namespace

int AcqEngine::EffectiveMode() const {
    if (config::g_bForceSim.load() == 1) return kModeAsync;
    int mode = m_mode.load();
    return (mode >= kModeAsync && mode <= kModeAsyncVariant) ? mode : kModeInvalid;
}

int AcqEngine::RunCycle() {
    if (EffectiveMode() == kModeSync) {
        acquisitionKind.store(kKindIdle);
        acquisitionActive.store(0);
        return kSyncIdleMs;
    }
    acquisitionActive.store(1);
    auto* shared = static_cast<SharedBlock*>(m_block.GetData());
    if (shared == nullptr) return kUnmappedRetryMs;

    SharedBlock& image = *m_image;
    {
        BlockLock lock(m_block, StopRequested);
        if (!lock.Held()) return kUnmappedRetryMs;  // stopping, or the mutex is broken
        if (m_clearPending.exchange(false)) ClearShared(*shared);
        image.firstRingOffset = kFirstRingOffset;
        std::memcpy(image.digitalOutRequest, shared->digitalOutRequest,
                    sizeof image.digitalOutRequest);
        std::memcpy(image.counterHold, shared->counterHold, sizeof image.counterHold);
    }

    const AcqRequest request = m_merged.Snapshot();
    if (m_hardware != nullptr && m_hardware->IsOpen() && g_bSimDebug.load() != 1) {
        // The pass reports hardware sampling itself, per channel it reads.
        m_hardware->Run(*this, request, image);
    } else {
        SimulatedPass(request);
    }

    PublishImage(*shared);
    return kCycleSleepMs;
}

void AcqEngine::PublishImage(SharedBlock& shared) {
    const SharedBlock& image = *m_image;
    // A cycle that cannot get the lock before a stop skips its publish.
    BlockLock lock(m_block, StopRequested);
    if (!lock.Held()) return;
    std::memcpy(shared.digitalIn, image.digitalIn, sizeof image.digitalIn);
    std::memcpy(shared.frequencySlot, image.frequencySlot, sizeof image.frequencySlot);
    std::memcpy(shared.analogRing, image.analogRing, sizeof image.analogRing);
    std::memcpy(shared.counterValue, image.counterValue, sizeof image.counterValue);
}

void AcquisitionThread(AcqEngine* engine) {
    CCrashReport::PrepareThread();  // a fault here, even a stack overflow, is reported
    for (;;) {
        if (stopRequested.load() == 1) {
            engine->MarkAcquisitionEnded();
            engine->AcquisitionExitEvent().Set();
            return;
        }
        int pause = kFaultRetryMs;
        try {
            pause = engine->RunCycle();
        } catch (const std::exception& e) {
            // The lock guards have released the block; try again shortly.
            platform::Trace("acquisition cycle failed: %s\n", e.what());
        } catch (...) {
            platform::TraceText("acquisition cycle failed\n");
        }
        PauseUnlessStopped(pause);
    }
}

}  // namespace vantor::engine
