// Cost of one simulated acquisition cycle and of the publish under the block's
// mutex, each next to a bare copy of the same bytes measured in the same run.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstring>
#include <memory>
#include <string>

#include "engine/AcqEngine.h"

namespace {

using namespace vantor::engine;

struct Fixture {
    Fixture() {
        setenv("VANTOR_IPC_NAMESPACE", ("bench" + std::to_string(getpid()) + "_").c_str(), 1);
        block.Create("NXSharedMemory", kBlockSize);
        engine = std::make_unique<AcqEngine>(block);
        engine->SetForceSim(1);  // asynchronous whatever the configuration
        AcqRequest r = EmptyRequest();
        r.analogCount = kMaxAnalogIds;
        for (int i = 0; i < kMaxAnalogIds; ++i) {
            r.analogIds[i] = i;
            r.analogSamples[i] = 10;
        }
        r.frequencyCount = kMaxFrequencyIds;
        for (int i = 0; i < kMaxFrequencyIds; ++i) r.frequencyIds[i] = kFirstFrequencyId + i;
        r.counterCount = kMaxCounterIds;
        for (int i = 0; i < kMaxCounterIds; ++i) r.counterIds[i] = kFirstCounterId + i;
        engine->Merged().Publish(r);
    }
    CSharedMemory block;
    std::unique_ptr<AcqEngine> engine;
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void BM_BareBlockCopy(benchmark::State& state) {
    auto src = std::make_unique<SharedBlock>();
    auto dst = std::make_unique<SharedBlock>();
    std::memset(src.get(), 1, sizeof(SharedBlock));
    for (auto _ : state) {
        std::memcpy(dst.get(), src.get(), sizeof(SharedBlock));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockSize);
}
BENCHMARK(BM_BareBlockCopy);

// The bytes a publish copies (inputs, frequencies, rings, counters), bare.
void BM_BarePublishBytes(benchmark::State& state) {
    auto src = std::make_unique<SharedBlock>();
    auto* dst = static_cast<SharedBlock*>(Shared().block.GetData());
    for (auto _ : state) {
        std::memcpy(dst->digitalIn, src->digitalIn, sizeof src->digitalIn);
        std::memcpy(dst->frequencySlot, src->frequencySlot, sizeof src->frequencySlot);
        std::memcpy(dst->analogRing, src->analogRing, sizeof src->analogRing);
        std::memcpy(dst->counterValue, src->counterValue, sizeof src->counterValue);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BarePublishBytes);

// Lock, the same copies, unlock: the time the mutex is held per publish.
void BM_PublishUnderMutex(benchmark::State& state) {
    Fixture& f = Shared();
    auto* dst = static_cast<SharedBlock*>(f.block.GetData());
    for (auto _ : state) {
        f.engine->PublishImage(*dst);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PublishUnderMutex);

// One whole simulated cycle (without its 1 ms sleep) for a full request:
// 16 analog channels x 10 samples, 8 frequencies, 4 counters.
void BM_SimulatedCycleFullRequest(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(f.engine->RunCycle());
}
BENCHMARK(BM_SimulatedCycleFullRequest);

}  // namespace

BENCHMARK_MAIN();
