// Cost of the client list's status refresh: clear the report list and refill
// 22 rows of 10 columns, as the main window does once a second while shown.
// Runs on the offscreen platform; the list is shown so redraws are counted.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>
#include <cstdlib>

#include "widgets/CReportCtrl.h"

namespace {

using vantor::widgets::CReportCtrl;

constexpr int kRows = 22;
constexpr int kColumns = 10;

void BM_ReportRefresh(benchmark::State& state) {
    CReportCtrl list;
    const char* titles[kColumns] = {"设备", "主机", "序号", "生存期", "计数",
                                    "状态", "入",   "出",   "模拟",   "频"};
    const int widths[kColumns] = {120, 70, 70, 70, 0, 70, 80, 80, 80, 80};
    for (int c = 0; c < kColumns; ++c) {
        list.AddColumn(c, QString::fromUtf8(titles[c]), widths[c]);
    }
    list.resize(640, 400);
    list.show();
    for (auto _ : state) {
        list.setUpdatesEnabled(false);
        if (list.RowCount() > 0) list.RemoveAllRows();
        for (int r = 0; r < kRows; ++r) {
            list.AddRow(r, QStringLiteral("peer%1").arg(r));
            list.SetCellText(r, 1, QStringLiteral("127.0.0.1"));
            list.SetCellText(r, 2, QString::number(9000 + r));
            list.SetCellText(r, 3, QString::number(r * 7));
            list.SetCellText(r, 4, QString::number(r));
            list.SetCellText(r, 5, QStringLiteral("服务中"));
            list.SetCellText(r, 6, QStringLiteral("0.3.7."));
            list.SetCellText(r, 7, QStringLiteral("1.2."));
            list.SetCellText(r, 8, QStringLiteral("0.1.2.3.4.5.6.7.8.9.10.11.12.13.14.15."));
            list.SetCellText(r, 9, QStringLiteral("16.17."));
        }
        for (int c = 0; c < kColumns - 1; ++c) list.resizeColumnToContents(c);
        list.setUpdatesEnabled(true);
        QApplication::processEvents();
        benchmark::DoNotOptimize(list.RowCount());
    }
    state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_ReportRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
