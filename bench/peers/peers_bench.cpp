// Cost of one received request: HandleRequest with its field splitting, the
// peer table update and the merge into the merged request.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "engine/CommandText.h"
#include "engine/MergedRequest.h"
#include "engine/PeerTable.h"
#include "syslib/Korbel.h"

namespace vantor::engine {
namespace {

AcqRequest Connect(int peer) {
    AcqRequest r = EmptyRequest();
    std::snprintf(r.text, sizeof r.text, "CONNECT,bench%d,x,127.0.0.1,1,0", peer);
    for (int i = 0; i < 4; ++i) {
        r.analogIds[r.analogCount] = (peer + i) % 16;
        r.analogSamples[r.analogCount++] = 20;
    }
    r.frequencyIds[r.frequencyCount++] = 200 + peer % 8;
    r.digitalInIds[r.digitalInCount++] = peer % 16;
    return r;
}

// A CONNECT that refreshes one of `peers` entries each time (the steady state).
void BM_HandleConnect(benchmark::State& state) {
    const int peers = static_cast<int>(state.range(0));
    PeerTable table;
    MergedRequest merged;
    std::vector<AcqRequest> requests;
    for (int i = 0; i < peers; ++i) requests.push_back(Connect(i));
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(HandleRequest(table, merged, &requests[i]));
        i = (i + 1) % requests.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleConnect)->Arg(1)->Arg(22);

// The merge alone, into a merged request that already holds every channel.
void BM_MergeRequest(benchmark::State& state) {
    AcqRequest merged = EmptyRequest();
    for (int i = 0; i < 22; ++i) MergeRequest(merged, Connect(i));
    AcqRequest r = Connect(5);
    for (auto _ : state) {
        AcqRequest m = merged;
        benchmark::DoNotOptimize(MergeRequest(m, r));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MergeRequest);

// The 5-second rebuild of the merged request from a full table.
void BM_RebuildFromFullTable(benchmark::State& state) {
    PeerTable table;
    for (int i = 0; i < kMaxPeers; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "bench%d", i);
        table.AddOrRefreshPeer(name, "127.0.0.1", 1, 0, Connect(i));
    }
    MergedRequest merged;
    for (auto _ : state) {
        merged.Update([&](AcqRequest& m) { m = table.MergedRequests(); });
    }
}
BENCHMARK(BM_RebuildFromFullTable);

}  // namespace
}  // namespace vantor::engine

int main(int argc, char** argv) {
    if (DMI_Load(1) != 1) {
        std::fprintf(stderr, "bench_peers: the system library did not load\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DMI_Unload();
    return 0;
}
