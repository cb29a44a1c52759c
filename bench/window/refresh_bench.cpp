// Cost of the operator window's status refresh with 22 peers: the engine's
// snapshot, the client list cleared and refilled, the 22 LEDs and the
// counts, as timer 2 does once a second while the window is shown. A real
// server (simulated board) runs in this process on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/ServerHost.h"
#include "host/window/CVantorDlg.h"
#include "protocol/AcqRequest.h"
#include "ui_VantorDlg.h"
#include "widgets/CReportCtrl.h"

namespace vantor::host {
namespace {

protocol::AcqRequest Connect(int peer) {
    protocol::AcqRequest r = protocol::EmptyRequest();
    std::snprintf(r.text, sizeof r.text, "CONNECT,bench%d,x,127.0.0.1,1,0", peer);
    for (int i = 0; i < 4; ++i) {
        r.analogIds[r.analogCount] = (peer + i) % 16;
        r.analogSamples[r.analogCount++] = 20;
    }
    r.frequencyIds[r.frequencyCount++] = 200 + peer % 8;
    r.digitalInIds[r.digitalInCount++] = peer % 16;
    r.digitalOutIds[r.digitalOutCount++] = (peer + 3) % 16;
    return r;
}

ServerHost* g_host = nullptr;
std::vector<protocol::AcqRequest> g_requests;

// range(0) = 1: every refresh finds an empty list and fills all 22 rows
// (the peers changed); 2: the steady state of a running server, the same
// peers with their last-seen times moved on (they all sent CONNECT again),
// only those cells written and redrawn; 0: nothing changed.
void BM_StatusRefresh22Peers(benchmark::State& state) {
    CVantorDlg window(*g_host);
    window.Start();
    window.show();
    window.StatusRefresh();
    QApplication::processEvents();
    const int64_t kind = state.range(0);
    for (auto _ : state) {
        if (kind == 1) {
            state.PauseTiming();
            window.Form().list1043->RemoveAllRows();
            state.ResumeTiming();
        } else if (kind == 2) {
            state.PauseTiming();
            // The peers' CONNECTs a little later: every last-seen time moves on.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            for (const protocol::AcqRequest& r : g_requests) g_host->Engine().HandleRequest(&r);
            state.ResumeTiming();
        }
        window.StatusRefresh();
        QApplication::processEvents();  // the repaint belongs to the refresh
    }
    state.counters["peers"] = static_cast<double>(g_host->Engine().Status().peers.size());
}
BENCHMARK(BM_StatusRefresh22Peers)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vantor::host

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A server of its own: private names, a scratch configuration directory.
    setenv("VANTOR_IPC_NAMESPACE", ("benchwin" + std::to_string(getpid()) + "_").c_str(), 0);
    char dir[] = "/tmp/vantor-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    setenv("VANTOR_CONFIG_DIR", dir, 0);
    QApplication app(argc, argv);
    vantor::host::ServerHost host;
    if (host.Start() != vantor::host::kRunning) {
        std::fprintf(stderr, "bench_window: the server did not start\n");
        return 1;
    }
    for (int i = 0; i < 22; ++i) {
        vantor::host::g_requests.push_back(vantor::host::Connect(i));
        host.Engine().HandleRequest(&vantor::host::g_requests.back());
    }
    vantor::host::g_host = &host;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    host.Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
