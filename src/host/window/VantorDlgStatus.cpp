// What the window shows of the engine: the client list, the LEDs, the
// counts of the merged request and the acquisition lamp.
#include <QColor>
#include <algorithm>
#include <array>
#include <vector>

#include "engine/AcquisitionPass.h"
#include "host/ServerHost.h"
#include "host/window/CVantorDlg.h"
#include "ui_VantorDlg.h"
#include "widgets/CColorStatic.h"
#include "widgets/CLed.h"
#include "widgets/CReportCtrl.h"

namespace vantor::host {

void CVantorDlg::StatusRefresh() {
    // Hidden in the tray, or frozen by the operator: nothing changes.
    if (!m_ui->check1051->isChecked() || !isVisible()) return;
    const engine::EngineStatus status = m_host.Engine().Status();

    FillClientList(status.peers);

    const int lit = std::min(static_cast<int>(status.peers.size()), kLedCount);
    for (int i = 0; i < kLedCount; ++i) {
        if (i < lit) {
            m_leds[static_cast<size_t>(i)]->SetLed(widgets::CLed::kGreen, widgets::CLed::kOn,
                                                   widgets::CLed::kRound);
        } else {
            m_leds[static_cast<size_t>(i)]->SetLed(widgets::CLed::kRed, widgets::CLed::kOff,
                                                   widgets::CLed::kRound);
        }
    }
    m_ui->static1056->setText(QStringLiteral("模:%1 入:%2 出:%3 频:%4")
                                  .arg(status.merged.analog)
                                  .arg(status.merged.digitalIn)
                                  .arg(status.merged.digitalOut)
                                  .arg(status.merged.frequency));
    // A switch through vantorctl shows on the radios too.
    if (!m_ui->radio1003->isDown() && !m_ui->radio1002->isDown())
        ShowModeRadios(status.displayMode);
}

namespace {

using RowTexts = std::array<QString, kClientColumns>;

// The client list's texts of one peer, column by column.
RowTexts RowTextsOf(const engine::PeerRow& peer) {
    return {QString::fromStdString(peer.name),
            QString::fromStdString(peer.host),
            QString::number(peer.port),
            QString::number(peer.lastSeen),
            QString::number(peer.peerCount),
            QStringLiteral("服务中"),
            QString::fromStdString(peer.digitalIn),
            QString::fromStdString(peer.digitalOut),
            QString::fromStdString(peer.analog),
            QString::fromStdString(peer.frequency)};
}

// Writes the cells of row r that differ from texts (all of them unless
// onlyChanged) and marks their columns in changed.
void WriteRow(widgets::CReportCtrl& list, int r, const RowTexts& texts, bool onlyChanged,
              std::array<bool, kClientColumns>& changed) {
    for (size_t c = 0; c < texts.size(); ++c) {
        if (onlyChanged && list.CellText(r, static_cast<int>(c)) == texts[c]) continue;
        list.SetCellText(r, static_cast<int>(c), texts[c]);
        changed[c] = true;
    }
}

}  // namespace

void CVantorDlg::FillClientList(const std::vector<engine::PeerRow>& peers) {
    widgets::CReportCtrl& list = *m_ui->list1043;
    // The same peers as last time: only the cells that changed are written
    // (and only their columns refitted), so a selection survives the
    // refresh. Otherwise the list is cleared and filled again.
    const bool sameRows = list.RowCount() == static_cast<int>(peers.size());
    // A rebuild is drawn once at its end; changed cells redraw only themselves
    // (turning updates back on repaints the whole list).
    if (!sameRows) list.setUpdatesEnabled(false);
    if (!sameRows && list.RowCount() > 0) list.RemoveAllRows(widgets::CReportCtrl::kAllRows);
    std::array<bool, kClientColumns> changed{};
    int row = 0;
    for (const engine::PeerRow& peer : peers) {
        const RowTexts texts = RowTextsOf(peer);
        const int r = sameRows ? row : list.AddRow(row, texts[0]);
        ++row;
        if (r >= 0) WriteRow(list, r, texts, sameRows, changed);
    }
    // Column 4, hidden at start-up, shows from the first row on; column 9
    // keeps its width.
    for (int c = 0; list.RowCount() > 0 && c < kClientColumns - 1; ++c) {
        if (changed[static_cast<size_t>(c)] || list.isColumnHidden(c)) list.AutoSizeColumn(c);
    }
    if (!sameRows) list.setUpdatesEnabled(true);
}

void CVantorDlg::BlinkLamp() {
    const engine::AcqEngine& engine = m_host.Engine();
    if (engine.AcquisitionActive() != 1) {
        m_lamp->SetBackColor(QColor(192, 192, 192));
        return;
    }
    QColor first(192, 192, 192);
    QColor second(128, 128, 128);
    if (engine.AcquisitionKind() == engine::kKindSimulated) {
        first = QColor(255, 255, 0);
        second = QColor(255, 0, 0);
    } else if (engine.AcquisitionKind() == engine::kKindHardware) {
        first = QColor(0, 255, 0);
        second = QColor(0, 128, 0);
    }
    m_blinkPhase = (m_blinkPhase + 1) % 2;
    m_lamp->SetBackColor(m_blinkPhase == 1 ? first : second);
}

}  // namespace vantor::host
