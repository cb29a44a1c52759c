// Cost of the board layer: ReadAnalog per sample against the in-process
// emulated bus (and over the socket backend), and one hardware cycle for a
// full request next to a simulated cycle of the same request.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "boards/Board.h"
#include "boards/PortBackends.h"
#include "emulation/BusServer.h"
#include "emulation/IsaBus.h"
#include "engine/AcqEngine.h"

namespace {

using namespace vantor;

constexpr int kSamples = 1000;

struct EmulatedBoard {
    // On a board of its own, or on the one given (the engine's).
    explicit EmulatedBoard(uint8_t type, int base = 0x300, boards::Board* on = nullptr)
        : board(on != nullptr ? *on : own) {
        name = "bench" + std::to_string(::getpid()) + "_" + std::to_string(type);
        bus.AddCard(type, base).SetVolts(0, 1.25);
        boards::RegisterEmulatedBus(name, &bus);
        board.SetPortDevice("emu:" + name);
        board.OpenDevice();
        board.Configure(type, base);
    }
    ~EmulatedBoard() {
        board.CloseDevice();
        boards::UnregisterEmulatedBus(name);
    }
    std::string name;
    emulation::IsaBus bus;
    boards::Board own;
    boards::Board& board;
};

// Per sample: control write, two status reads (busy, ready), two data reads.
void BM_ReadAnalogPerSample(benchmark::State& state) {
    EmulatedBoard e(static_cast<uint8_t>(state.range(0)));
    auto buffer = std::make_unique<float[]>(kSamples);
    for (auto _ : state) {
        e.board.ReadAnalog(0, buffer.get(), kSamples, 0);
        benchmark::DoNotOptimize(buffer[kSamples - 1]);
        e.bus.ClearLog();  // keeps the write log from growing without bound
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSamples);
}
BENCHMARK(BM_ReadAnalogPerSample)->Arg(0x18)->Arg(0x25)->ArgName("type");

// The same reads over a Unix socket to a bus served by another thread.
void BM_ReadAnalogPerSampleSocket(benchmark::State& state) {
    emulation::IsaBus bus;
    bus.AddCard(0x18, 0x300).SetVolts(0, 1.25);
    emulation::BusServer server(bus);
    std::string path = "/tmp/vantor-bench-bus-" + std::to_string(::getpid());
    std::string why;
    if (!server.Listen(path, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop.load()) server.Step(10);
    });
    boards::Board board;
    board.SetPortDevice("unix:" + path);
    board.OpenDevice();
    board.Configure(0x18, 0x300);
    constexpr int kSocketSamples = 100;
    float buffer[kSocketSamples];
    for (auto _ : state) {
        board.ReadAnalog(0, buffer, kSocketSamples, 0);
        benchmark::DoNotOptimize(buffer[kSocketSamples - 1]);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSocketSamples);
    board.CloseDevice();
    stop.store(true);
    serving.join();
}
BENCHMARK(BM_ReadAnalogPerSampleSocket)->UseRealTime();

// 16 analog channels of 10 samples, 8 frequencies, 4 counters, 16 outputs.
protocol::AcqRequest FullRequest() {
    protocol::AcqRequest r = protocol::EmptyRequest();
    r.analogCount = protocol::kMaxAnalogIds;
    for (int i = 0; i < protocol::kMaxAnalogIds; ++i) {
        r.analogIds[i] = i;
        r.analogSamples[i] = 10;
    }
    r.frequencyCount = protocol::kMaxFrequencyIds;
    for (int i = 0; i < protocol::kMaxFrequencyIds; ++i)
        r.frequencyIds[i] = protocol::kFirstFrequencyId + i;
    r.counterCount = protocol::kMaxCounterIds;
    for (int i = 0; i < protocol::kMaxCounterIds; ++i)
        r.counterIds[i] = protocol::kFirstCounterId + i;
    r.digitalOutCount = protocol::kMaxDigitalIds;
    for (int i = 0; i < protocol::kMaxDigitalIds; ++i) r.digitalOutIds[i] = i;
    return r;
}

struct Engine {
    Engine() {
        ::setenv("VANTOR_IPC_NAMESPACE", ("benchb" + std::to_string(::getpid()) + "_").c_str(), 1);
        block.Create("NXSharedMemory", protocol::kBlockSize);
        acq = std::make_unique<engine::AcqEngine>(block);
        acq->SetForceSim(1);  // asynchronous whatever the configuration
        acq->Merged().Publish(FullRequest());
    }
    protocol::CSharedMemory block;
    std::unique_ptr<engine::AcqEngine> acq;
};

Engine& SharedEngine() {
    static Engine e;
    return e;
}

void BM_SimulatedCycle(benchmark::State& state) {
    Engine& e = SharedEngine();  // its board is closed: the simulated pass
    for (auto _ : state) benchmark::DoNotOptimize(e.acq->RunCycle());
}
BENCHMARK(BM_SimulatedCycle);

// Type 0x23 has no sleeps; type 0x25 waits 1 ms per frequency input by design.
void BM_HardwareCycle(benchmark::State& state) {
    Engine& e = SharedEngine();
    // The engine's own board on the bus: its cycles take the board's pass.
    EmulatedBoard board(static_cast<uint8_t>(state.range(0)), 0x300, &e.acq->GetBoard());
    for (auto _ : state) {
        benchmark::DoNotOptimize(e.acq->RunCycle());
        board.bus.ClearLog();
    }
}
BENCHMARK(BM_HardwareCycle)->Arg(0x23)->Arg(0x25)->ArgName("type")->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
